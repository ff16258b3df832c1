// Helpers shared by the cefclient_messages tests: bytes written as hex text,
// a splitter of raw wire records (so that tests can drop or rewrite one
// record of a serialised message without reflection, which the lite runtime
// lacks), and an envelope with every field of the schema filled.
#pragma once

#include <cefclient_messages.pb.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace messages_test {

// "0A 02 77 31" -> bytes. Hex digits in either case; spaces are ignored.
// Throws std::invalid_argument on any other character or an odd count.
std::string bytesFromHex(std::string_view hex);
// Bytes -> "0A 02 77 31" (upper case, one space between bytes).
std::string hexFromBytes(std::string_view bytes);

constexpr int kVarint = 0;
constexpr int kLengthDelimited = 2;

// One record of a serialised message, as met on the wire.
struct WireRecord {
  int fieldNumber = 0;
  int wireType = 0;
  std::uint64_t varint = 0;  // the value of a varint record
  std::string payload;       // the bytes of a length-delimited record
  std::string raw;           // the whole record, tag included
};

// Splits serialised bytes into their records. Understands the two wire
// types this schema writes (varint and length-delimited); throws
// std::invalid_argument on anything else or on truncated input.
std::vector<WireRecord> splitRecords(std::string_view bytes);
// The records' raw bytes, concatenated.
std::string joinRecords(const std::vector<WireRecord>& records);
// A length-delimited record of field `fieldNumber` around `payload`.
std::string lengthDelimitedRecord(int fieldNumber, std::string_view payload);

// An envelope with windowId, every optional field holding a complete
// sub-message, and two droppedFiles elements. int32 values are negative,
// uint64 values lie above 2^32, bools are true and strings non-empty, so
// that every field is present and its type shows on the wire.
cefclient_messages::windowMessage completeEnvelope();
// setLocation travels in no envelope field; this one has both fields.
cefclient_messages::windowMessage_setLocation completeSetLocation();

// One of the 35 message types nested in windowMessage.
struct NestedType {
  const char* name;  // as declared in the schema
  const google::protobuf::MessageLite* defaultInstance;
  int envelopeField;  // the envelope field carrying it; 0 for none
  // The fields' types in field-number order, one letter per field:
  // S string, I int32, U uint64, B bool.
  const char* fieldTypes;
};

// Names the type in test output.
void PrintTo(const NestedType& type, std::ostream* os);

// All 35, in envelope field order, setLocation last.
const std::vector<NestedType>& nestedTypes();

// The serialised complete sub-message of `type`: taken from
// completeEnvelope(), or completeSetLocation() for setLocation.
std::string completeNestedBytes(const NestedType& type);

}  // namespace messages_test
