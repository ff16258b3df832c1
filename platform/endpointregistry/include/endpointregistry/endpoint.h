// Stand-in of the maker's endpoint registry: one publication of a value
// under a key for a session, held by a movable Endpoint handle.
//
// Stand-in behaviour: publish(value, key, session) writes `value` into the
// file <dir>/<session>/<key>, atomically (written to a temporary file in
// the same folder, then renamed), creating the folders (mode 0700) when
// missing. <dir> is $TARVEX_ENDPOINT_DIR, else
// $XDG_RUNTIME_DIR/tarvex-endpoints, else /tmp/tarvex-endpoints-<uid>.
// Destroying (or assigning over) a published Endpoint removes its file, and
// the session folder when that leaves it empty.
//
// Errors: std::invalid_argument for an empty key or session, or one holding
// '/' or "..", or a key or session of "."; std::runtime_error when the file
// cannot be written.
// Thread-safety: distinct Endpoint objects may be used on distinct threads;
// one Endpoint is not shared. Each call is recorded in the stand-in journal.
#pragma once

#include <string>

#define ENDPOINTREGISTRY_EXPORT __attribute__((visibility("default")))

namespace agent::vorn::endpointregistry {

class ENDPOINTREGISTRY_EXPORT Endpoint {
 public:
  // No publication.
  Endpoint() = default;
  ~Endpoint();
  Endpoint(Endpoint&& other) noexcept;
  Endpoint& operator=(Endpoint&& other) noexcept;
  Endpoint(const Endpoint&) = delete;
  Endpoint& operator=(const Endpoint&) = delete;

  static Endpoint publish(const std::string& value, const std::string& key,
                          const std::string& session);

  // Stand-in only: the published file, empty when nothing is published.
  const std::string& pathForTesting() const { return path_; }

 private:
  explicit Endpoint(std::string path) : path_(std::move(path)) {}
  void release() noexcept;

  std::string path_;  // empty: nothing published
};

// Stand-in only: the folder publications go to now (see above).
ENDPOINTREGISTRY_EXPORT std::string endpointDirectory();

}  // namespace agent::vorn::endpointregistry
