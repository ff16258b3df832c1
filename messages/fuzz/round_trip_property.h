// The round-trip property of windowMessage, checked by the libFuzzer target
// and by the bounded random run of the test suite: whatever parses
// re-serialises to bytes that parse to an equal message.
//
// The lite runtime has no reflection, so "equal" is judged by the canonical
// bytes: known fields in number order followed by the unknown bytes, which
// is all a message holds.
#pragma once

#include <cefclient_messages.pb.h>
#include <google/protobuf/stubs/logging.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace cefclient_messages_fuzz {

// Returns what went wrong, or nothing when the input does not parse or
// keeps the property.
inline std::optional<std::string> checkRoundTrip(const std::uint8_t* data,
                                                 std::size_t size) {
  using cefclient_messages::windowMessage;
  // The verifying parse logs every message it refuses for a missing
  // required field; random input makes that most of them.
  const google::protobuf::LogSilencer quiet;
  const int length = static_cast<int>(size);

  windowMessage first;
  if (!first.ParsePartialFromArray(data, length)) return std::nullopt;

  windowMessage verified;
  if (verified.ParseFromArray(data, length) != first.IsInitialized()) {
    return "the verifying parse disagrees with the initialisation test";
  }

  const std::string bytes = first.SerializePartialAsString();
  if (bytes.size() != first.ByteSizeLong()) {
    return "the size computation differs from the bytes written";
  }

  windowMessage second;
  if (!second.ParsePartialFromString(bytes)) {
    return "the re-serialised bytes do not parse";
  }
  if (second.SerializePartialAsString() != bytes) {
    return "the re-parsed message differs from the first";
  }
  if (second.IsInitialized() != first.IsInitialized()) {
    return "the re-parsed message differs in initialisation";
  }

  windowMessage copy(first);
  if (copy.SerializePartialAsString() != bytes) {
    return "a copy differs from its source";
  }
  windowMessage merged;
  merged.MergeFrom(first);
  if (merged.SerializePartialAsString() != bytes) {
    return "a merge into an empty message differs from its source";
  }
  return std::nullopt;
}

}  // namespace cefclient_messages_fuzz
