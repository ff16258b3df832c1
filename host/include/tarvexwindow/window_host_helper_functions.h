// The browser process's session identity, process group and endpoint
// publication. All three log on "tarvexwindow::cefclient" and run on the
// main thread during start-up, only when the command line has no "type"
// switch.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "endpointregistry/endpoint.h"
#include "tarvexwindow/system_calls.h"

namespace tarvexwindow {

// The registry key the process group id is published under.
inline constexpr char kGroupIdEndpointKey[] = "ZelWindowHostPosixGroupId";

namespace detail {
// Makes the process the leader of a process group whose id is its process
// id, so that the browser framework's child processes join it. A failure is
// logged at severity 512 and changes nothing else.
void setPosixGroupId(const SystemCalls& system = SystemCalls());
}  // namespace detail

// The session identifier text (36 characters, lower-case hexadecimal,
// grouped 8-4-4-4-12) of the product session's SessionIdRegistrar in the
// running service framework; nothing when there is no framework, no
// registrar or an empty service object.
std::optional<std::string> getSessionID();

// The 36-character text of 16 bytes, in their order.
std::string formatSessionId(const std::array<std::uint8_t, 16>& bytes);

// Publishes the process id under kGroupIdEndpointKey for the session.
// Returns the endpoint to hold (unpublished when there is no session id),
// or nothing when the publication failed; the failure is logged at
// severity 8 and start-up goes on.
std::optional<agent::vorn::endpointregistry::Endpoint> publishEndpoint(
    const SystemCalls& system = SystemCalls());

}  // namespace tarvexwindow
