// Stand-in of the maker's service host library: the process's running
// service framework, and the session-identifier service the product session
// registers in it.
//
// Stand-in behaviour: startFramework (called by the browser-client library
// when it starts the framework) builds and starts a framework, and when the
// environment variable TARVEX_SESSION_ID holds a session text (36
// characters, hexadecimal in groups 8-4-4-4-12 separated by '-') registers a
// SessionIdRegistrar whose sessionUuid() returns those 16 bytes in order.
// Without the variable, or with any other text, none is registered.
//
// Ownership: getFramework() hands out shared ownership; stopFramework()
// stops the framework and drops the process's reference.
// Thread-safety: every function may be called from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "servicefw/framework.h"

#define SERVICEHOST_EXPORT __attribute__((visibility("default")))

namespace ostra::runtime_registry::sessionid {

using SessionUuid = std::array<std::uint8_t, 16>;

// The product session's identity service, registered under the interface id
// kSessionIdRegistrarInterfaceId.
class SERVICEHOST_EXPORT SessionIdRegistrar {
 public:
  virtual ~SessionIdRegistrar();
  virtual SessionUuid sessionUuid() const = 0;
};

inline constexpr char kSessionIdRegistrarInterfaceId[] =
    "ostra::runtime_registry::sessionid::SessionIdRegistrar";

// Stand-in only: the 16 bytes of a session text, or nothing when the text is
// not one (upper- and lower-case hexadecimal digits are accepted).
SERVICEHOST_EXPORT std::optional<SessionUuid> parseSessionText(
    const std::string& text);

}  // namespace ostra::runtime_registry::sessionid

namespace ostra::cppmicroservices {

// The running service framework; null when none is running.
SERVICEHOST_EXPORT std::shared_ptr<::cppmicroservices::Framework>
getFramework();

// Stand-in only: starts a framework named `name` as the process's framework
// (replacing and stopping any earlier one) and registers the session's
// registrar as described above.
SERVICEHOST_EXPORT void startFramework(const std::string& name);

// Stand-in only: stops the process's framework, if any, and forgets it.
SERVICEHOST_EXPORT void stopFramework();

}  // namespace ostra::cppmicroservices
