// A bounded random run of the round-trip property (see
// fuzz/round_trip_property.h): pure noise, and mutations of a complete
// envelope so that most inputs get deep into the parser. The first
// kMinInputs inputs always run (they follow from the fixed seed, so the
// counts checked below do not depend on the machine's speed); more run
// until the time budget or kMaxInputs is reached.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <random>
#include <string>

#include "round_trip_property.h"
#include "test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kBudget = std::chrono::seconds(2);
constexpr int kMinInputs = 2'000;
constexpr int kMaxInputs = 200'000;
constexpr std::uint64_t kSeed = 0x5EED'CEFC'1E47ULL;

using Generator = std::function<std::string(std::mt19937_64&)>;

struct GeneratorCase {
  const char* name;
  Generator generate;
  // Of the first kMinInputs inputs, how many must parse for the run to
  // mean anything.
  int minimumParsed;
};

void PrintTo(const GeneratorCase& c, std::ostream* os) { *os << c.name; }

char randomByte(std::mt19937_64& random) {
  return static_cast<char>(random() & 0xFF);
}

std::string noise(std::mt19937_64& random) {
  std::string bytes(random() % 48, '\0');
  for (auto& byte : bytes) byte = randomByte(random);
  return bytes;
}

// A complete envelope with a few bytes flipped, inserted, removed, or cut.
std::string mutatedEnvelope(std::mt19937_64& random) {
  static const std::string complete =
      messages_test::completeEnvelope().SerializeAsString();
  std::string bytes = complete;
  const int edits = 1 + static_cast<int>(random() % 4);
  for (int i = 0; i < edits && !bytes.empty(); ++i) {
    const std::size_t at = random() % bytes.size();
    switch (random() % 4) {
      case 0:
        bytes[at] = randomByte(random);
        break;
      case 1:
        bytes.insert(at, 1, randomByte(random));
        break;
      case 2:
        bytes.erase(at, 1 + random() % 8);
        break;
      default:
        bytes.resize(at);
        break;
    }
  }
  return bytes;
}

// Records of valid and invalid kinds strung together: known fields with
// the right and the wrong wire type, unknown fields, repeated records.
std::string recordSoup(std::mt19937_64& random) {
  static const std::string complete =
      messages_test::completeEnvelope().SerializeAsString();
  static const auto records = messages_test::splitRecords(complete);
  std::string bytes;
  const int count = static_cast<int>(random() % 6);
  for (int i = 0; i < count; ++i) {
    if (random() % 3 == 0) {
      // A varint record of any field number 1..40, right type or not.
      const auto field = 1 + random() % 40;
      bytes.push_back(static_cast<char>(0x80 | ((field << 3) & 0x7F)));
      bytes.push_back(static_cast<char>(field >> 4));
      bytes.push_back(static_cast<char>(random() % 0x80));
    } else {
      bytes += records[random() % records.size()].raw;
    }
  }
  return bytes;
}

const std::vector<GeneratorCase> kGenerators = {
    {"noise", noise, 40},
    {"mutatedEnvelope", mutatedEnvelope, 100},
    {"recordSoup", recordSoup, kMinInputs},  // well-formed by construction
};

class RandomRoundTripTest : public ::testing::TestWithParam<GeneratorCase> {};

TEST_P(RandomRoundTripTest, WhateverParsesReserialisesToAnEqualMessage) {
  std::mt19937_64 random(kSeed);
  const auto deadline = Clock::now() + kBudget;
  int inputs = 0;
  int parsed = 0;
  int parsedOfFirst = 0;
  while (inputs < kMinInputs ||
         (inputs < kMaxInputs && Clock::now() < deadline)) {
    const std::string bytes = GetParam().generate(random);
    ++inputs;
    cefclient_messages::windowMessage probe;
    if (probe.ParsePartialFromString(bytes)) {
      ++parsed;
      if (inputs <= kMinInputs) ++parsedOfFirst;
    }
    const auto failure = cefclient_messages_fuzz::checkRoundTrip(
        reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ASSERT_FALSE(failure.has_value())
        << *failure << "\ninput: " << messages_test::hexFromBytes(bytes);
  }
  RecordProperty("inputs", inputs);
  RecordProperty("parsed", parsed);
  RecordProperty("parsedOfFirst", parsedOfFirst);
  EXPECT_GE(parsedOfFirst, GetParam().minimumParsed);
}

INSTANTIATE_TEST_SUITE_P(Generators, RandomRoundTripTest,
                         ::testing::ValuesIn(kGenerators),
                         [](const auto& info) { return info.param.name; });

}  // namespace
