#include "servicehost/servicehost.h"

#include <cstdlib>
#include <mutex>
#include <utility>

#include "journal/journal.h"

namespace ostra::runtime_registry::sessionid {

SessionIdRegistrar::~SessionIdRegistrar() = default;

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The product session's registrar: a fixed identifier.
class FixedSessionIdRegistrar : public SessionIdRegistrar {
 public:
  explicit FixedSessionIdRegistrar(SessionUuid uuid) : uuid_(uuid) {}
  SessionUuid sessionUuid() const override { return uuid_; }

 private:
  SessionUuid uuid_;
};

}  // namespace

std::optional<SessionUuid> parseSessionText(const std::string& text) {
  if (text.size() != 36) return std::nullopt;
  SessionUuid uuid{};
  std::size_t byte = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    const int high = hexValue(text[i]);
    const int low = hexValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    uuid[byte++] = static_cast<std::uint8_t>(high * 16 + low);
    i += 2;
  }
  return uuid;
}

}  // namespace ostra::runtime_registry::sessionid

namespace ostra::cppmicroservices {
namespace {

namespace sessionid = ostra::runtime_registry::sessionid;

std::mutex frameworkMutex;
std::shared_ptr<::cppmicroservices::Framework>
    currentFramework;  // guarded by frameworkMutex

void registerSessionFromEnvironment(::cppmicroservices::Framework& framework) {
  const char* text = std::getenv("TARVEX_SESSION_ID");
  const auto uuid = text ? sessionid::parseSessionText(text)
                         : std::optional<sessionid::SessionUuid>();
  if (!uuid) {
    standin::journal::record("SessionIdRegistrar not registered");
    return;
  }
  framework.getBundleContext().registerService(
      sessionid::kSessionIdRegistrarInterfaceId,
      std::make_shared<sessionid::FixedSessionIdRegistrar>(*uuid));
  standin::journal::record(std::string("SessionIdRegistrar registered ") +
                           text);
}

}  // namespace

std::shared_ptr<::cppmicroservices::Framework> getFramework() {
  std::lock_guard<std::mutex> lock(frameworkMutex);
  return currentFramework;
}

void startFramework(const std::string& name) {
  auto framework = std::make_shared<::cppmicroservices::Framework>(name);
  framework->start();
  registerSessionFromEnvironment(*framework);
  std::shared_ptr<::cppmicroservices::Framework> previous;
  {
    std::lock_guard<std::mutex> lock(frameworkMutex);
    previous = std::exchange(currentFramework, std::move(framework));
  }
  if (previous) previous->stop();
}

void stopFramework() {
  std::shared_ptr<::cppmicroservices::Framework> stopped;
  {
    std::lock_guard<std::mutex> lock(frameworkMutex);
    stopped = std::exchange(currentFramework, nullptr);
  }
  if (stopped) stopped->stop();
}

}  // namespace ostra::cppmicroservices
