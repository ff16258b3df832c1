#include "tarvexwindow/window_host_helper_functions.h"

#include <memory>
#include <stdexcept>

#include "servicehost/servicehost.h"
#include "tarvexwindow/diagnostics.h"
#include "tarvexwindow/trace_scope.h"

namespace tarvexwindow {
namespace {

namespace sessionid = ostra::runtime_registry::sessionid;
using agent::vorn::endpointregistry::Endpoint;

constexpr char kSessionIdRegistrarInterfaceId[] =
    "ostra::runtime_registry::sessionid::SessionIdRegistrar";

// The first registrar registered in the running service framework, if any.
std::shared_ptr<sessionid::SessionIdRegistrar> findSessionIdRegistrar() {
  const auto framework = ostra::cppmicroservices::getFramework();
  if (!framework) return nullptr;
  const auto context = framework->getBundleContext();
  const auto references =
      context.getServiceReferences(kSessionIdRegistrarInterfaceId, "");
  if (references.empty()) return nullptr;
  return context.getService<sessionid::SessionIdRegistrar>(references.front());
}

}  // namespace

namespace detail {

void setPosixGroupId(const SystemCalls& system) {
  FunctionTraceScope trace(cefclientChannel, "void detail::setPosixGroupId()");
  const pid_t pid = system.processId();
  const int result = system.setProcessGroup(pid, pid);
  if (result != 0) {
    cefclientChannel.write(severity::kError,
                           "failed to set group ID for window with error ID ",
                           result);
  }
}

}  // namespace detail

std::string formatSessionId(const std::array<std::uint8_t, 16>& bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(36);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0x0f];
    if (i == 3 || i == 5 || i == 7 || i == 9) text += '-';
  }
  return text;
}

std::optional<std::string> getSessionID() {
  // What the return-value record shows: the text returned, or "nil".
  std::string returnedText = "nil";
  ReturnTraceScope trace(
      cefclientChannel,
      "std::optional<std::__cxx11::basic_string<char> > getSessionID()",
      "(sessionID.value_or(\"nil\"))", returnedText);
  const auto registrar = findSessionIdRegistrar();
  if (!registrar) return std::nullopt;
  std::optional<std::string> sessionID =
      formatSessionId(registrar->sessionUuid());
  returnedText = *sessionID;
  return sessionID;
}

std::optional<Endpoint> publishEndpoint(const SystemCalls& system) {
  const pid_t pid = system.processId();
  const std::string pidText = std::to_string(pid);
  cefclientChannel.write(severity::kInformation, "group ID is ", pid);
  Endpoint endpoint;
  try {
    const std::optional<std::string> sessionID = getSessionID();
    if (sessionID) {
      endpoint = Endpoint::publish(pidText, kGroupIdEndpointKey, *sessionID);
    }
  } catch (const std::exception& error) {
    // The registry rejects bad names with std::invalid_argument; its other
    // failures, and the service framework's, are treated the same way so
    // that a missing publication never ends the window host.
    cefclientChannel.write(severity::kInformation,
                           " error when publishing endpoint : ", error.what());
    return std::nullopt;
  }
  return endpoint;
}

}  // namespace tarvexwindow
