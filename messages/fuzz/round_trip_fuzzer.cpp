// libFuzzer entry: every input is offered to windowMessage's parser, and
// whatever parses must keep the round-trip property.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "round_trip_property.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (const auto failure =
          cefclient_messages_fuzz::checkRoundTrip(data, size)) {
    std::fprintf(stderr, "round-trip property broken: %s\n", failure->c_str());
    std::abort();
  }
  return 0;
}
