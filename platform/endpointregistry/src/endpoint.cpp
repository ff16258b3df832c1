#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "endpointregistry/endpoint.h"
#include "journal/journal.h"

namespace agent::vorn::endpointregistry {
namespace {

void requireValidName(const std::string& name, const char* what) {
  if (name.empty() || name == "." || name.find('/') != std::string::npos ||
      name.find("..") != std::string::npos) {
    throw std::invalid_argument(std::string("invalid endpoint ") + what +
                                " \"" + name + "\"");
  }
}

std::string systemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// Creates `path` and any missing parents with mode 0700.
void makeDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);;
       slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
      throw std::runtime_error(systemError("cannot create folder", prefix));
    }
    if (slash == std::string::npos) return;
  }
}

void writeAtomically(const std::string& path, const std::string& value) {
  const std::string temporary = path + ".tmp." + std::to_string(::getpid());
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error(systemError("cannot create", temporary));
  const bool written = ::write(fd, value.data(), value.size()) ==
                       static_cast<ssize_t>(value.size());
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string message = systemError("cannot write", path);
    ::unlink(temporary.c_str());
    throw std::runtime_error(message);
  }
}

}  // namespace

std::string endpointDirectory() {
  if (const char* dir = std::getenv("TARVEX_ENDPOINT_DIR"); dir && *dir) {
    return dir;
  }
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime && *runtime) {
    return std::string(runtime) + "/tarvex-endpoints";
  }
  return "/tmp/tarvex-endpoints-" + std::to_string(::getuid());
}

Endpoint::~Endpoint() { release(); }

Endpoint::Endpoint(Endpoint&& other) noexcept
    : path_(std::exchange(other.path_, std::string())) {}

Endpoint& Endpoint::operator=(Endpoint&& other) noexcept {
  if (this != &other) {
    release();
    path_ = std::exchange(other.path_, std::string());
  }
  return *this;
}

Endpoint Endpoint::publish(const std::string& value, const std::string& key,
                           const std::string& session) {
  standin::journal::record("Endpoint::publish " + value + " " + key + " " +
                           session);
  requireValidName(key, "key");
  requireValidName(session, "session");
  const std::string folder = endpointDirectory() + "/" + session;
  makeDirectories(folder);
  const std::string path = folder + "/" + key;
  writeAtomically(path, value);
  return Endpoint(path);
}

void Endpoint::release() noexcept {
  if (path_.empty()) return;
  ::unlink(path_.c_str());
  const std::string folder = path_.substr(0, path_.rfind('/'));
  ::rmdir(folder.c_str());  // only succeeds when nothing else is published
  try {
    standin::journal::record("Endpoint released " + path_);
  } catch (...) {
    // Recording is a test aid; releasing must never throw.
  }
  path_.clear();
}

}  // namespace agent::vorn::endpointregistry
