// The schema itself: the type names of all 37 classes, the field numbers
// and wire types of every nested message, and which fields are required.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace cm = cefclient_messages;
using google::protobuf::MessageLite;
using messages_test::NestedType;
using messages_test::WireRecord;

void checkFieldType(char type, const WireRecord& record) {
  switch (type) {
    case 'S':
      EXPECT_EQ(record.wireType, messages_test::kLengthDelimited);
      EXPECT_FALSE(record.payload.empty());
      break;
    case 'I':
      // Negative int32 values are sign-extended to 64 bits (not zigzag).
      EXPECT_EQ(record.wireType, messages_test::kVarint);
      EXPECT_LT(static_cast<std::int64_t>(record.varint), 0);
      EXPECT_GE(static_cast<std::int64_t>(record.varint), INT32_MIN);
      break;
    case 'U':
      EXPECT_EQ(record.wireType, messages_test::kVarint);
      EXPECT_GT(record.varint, 0xFFFF'FFFFULL);
      break;
    case 'B':
      EXPECT_EQ(record.wireType, messages_test::kVarint);
      EXPECT_EQ(record.varint, 1U);
      EXPECT_EQ(record.raw.size(), 2U);
      break;
    default:
      FAIL() << "unknown type letter " << type;
  }
}

class NestedTypeTest : public ::testing::TestWithParam<NestedType> {};

TEST_P(NestedTypeTest, AnswersItsFullTypeName) {
  EXPECT_EQ(GetParam().defaultInstance->GetTypeName(),
            std::string("cefclient_messages.windowMessage.") + GetParam().name);
}

TEST_P(NestedTypeTest, CompleteMessageWritesEachFieldInNumberOrder) {
  const std::string bytes = messages_test::completeNestedBytes(GetParam());
  std::unique_ptr<MessageLite> message(GetParam().defaultInstance->New());
  ASSERT_TRUE(message->ParseFromString(bytes));
  EXPECT_TRUE(message->IsInitialized());
  EXPECT_EQ(message->SerializeAsString(), bytes);

  const auto records = messages_test::splitRecords(bytes);
  const std::string types = GetParam().fieldTypes;
  ASSERT_EQ(records.size(), types.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE("field " + std::to_string(i + 1));
    EXPECT_EQ(records[i].fieldNumber, static_cast<int>(i + 1));
    checkFieldType(types[i], records[i]);
  }
}

TEST_P(NestedTypeTest, DefaultInstanceHasNoFieldPresent) {
  EXPECT_EQ(GetParam().defaultInstance->ByteSizeLong(), 0U);
  EXPECT_FALSE(GetParam().defaultInstance->IsInitialized());
}

INSTANTIATE_TEST_SUITE_P(All, NestedTypeTest,
                         ::testing::ValuesIn(messages_test::nestedTypes()),
                         [](const auto& info) { return info.param.name; });

TEST(TopLevelTypeTest, AnswerTheirFullTypeNames) {
  EXPECT_EQ(cm::windowMessage::default_instance().GetTypeName(),
            "cefclient_messages.windowMessage");
  EXPECT_EQ(cm::debugPortMessage::default_instance().GetTypeName(),
            "cefclient_messages.debugPortMessage");
  EXPECT_EQ(messages_test::nestedTypes().size(), 35U);
}

TEST(TopLevelTypeTest, EnvelopeWritesFields1To35InNumberOrder) {
  const auto records = messages_test::splitRecords(
      messages_test::completeEnvelope().SerializeAsString());
  std::vector<int> numbers;
  for (const auto& record : records) {
    EXPECT_EQ(record.wireType, messages_test::kLengthDelimited);
    numbers.push_back(record.fieldNumber);
  }
  std::vector<int> expected;
  for (int field = 1; field <= 35; ++field) {
    expected.push_back(field);
    if (field == 27) expected.push_back(27);  // two droppedFiles elements
  }
  EXPECT_EQ(numbers, expected);
  EXPECT_EQ(records.front().payload, "window-1");
}

// ---------------------------------------------------------------------------
// Every field of every nested message is required: dropping any one record
// from a complete message leaves it, and an envelope carrying it,
// uninitialised. The verifying parse refuses such bytes; the partial parse
// takes them.

struct RequiredFieldCase {
  NestedType type;
  int fieldNumber;
};

void PrintTo(const RequiredFieldCase& c, std::ostream* os) {
  *os << c.type.name << " without field " << c.fieldNumber;
}

std::vector<RequiredFieldCase> requiredFields(bool carriedOnly) {
  std::vector<RequiredFieldCase> cases;
  for (const auto& type : messages_test::nestedTypes()) {
    if (carriedOnly && type.envelopeField == 0) continue;
    const int count = static_cast<int>(std::string(type.fieldTypes).size());
    for (int field = 1; field <= count; ++field) cases.push_back({type, field});
  }
  return cases;
}

std::string caseName(const ::testing::TestParamInfo<RequiredFieldCase>& info) {
  return std::string(info.param.type.name) + "_field" +
         std::to_string(info.param.fieldNumber);
}

std::string withoutField(const std::string& bytes, int fieldNumber) {
  auto records = messages_test::splitRecords(bytes);
  std::erase_if(records, [&](const WireRecord& record) {
    return record.fieldNumber == fieldNumber;
  });
  return messages_test::joinRecords(records);
}

class RequiredFieldTest : public ::testing::TestWithParam<RequiredFieldCase> {};

TEST_P(RequiredFieldTest, MissingFieldLeavesMessageUninitialised) {
  const auto& type = GetParam().type;
  const std::string bytes = withoutField(
      messages_test::completeNestedBytes(type), GetParam().fieldNumber);

  std::unique_ptr<MessageLite> partial(type.defaultInstance->New());
  ASSERT_TRUE(partial->ParsePartialFromString(bytes));
  EXPECT_FALSE(partial->IsInitialized());
  std::unique_ptr<MessageLite> verified(type.defaultInstance->New());
  EXPECT_FALSE(verified->ParseFromString(bytes));
}

INSTANTIATE_TEST_SUITE_P(All, RequiredFieldTest,
                         ::testing::ValuesIn(requiredFields(false)), caseName);

// setLocation travels in no envelope, so it has no case here.
class EnvelopeRequiredFieldTest
    : public ::testing::TestWithParam<RequiredFieldCase> {};

TEST_P(EnvelopeRequiredFieldTest, EnvelopeCarryingItIsUninitialised) {
  const auto& type = GetParam().type;
  const std::string envelope =
      messages_test::bytesFromHex("0A 00") +
      messages_test::lengthDelimitedRecord(
          type.envelopeField,
          withoutField(messages_test::completeNestedBytes(type),
                       GetParam().fieldNumber));

  cm::windowMessage partial;
  ASSERT_TRUE(partial.ParsePartialFromString(envelope));
  EXPECT_FALSE(partial.IsInitialized());
  cm::windowMessage verified;
  EXPECT_FALSE(verified.ParseFromString(envelope));
}

INSTANTIATE_TEST_SUITE_P(All, EnvelopeRequiredFieldTest,
                         ::testing::ValuesIn(requiredFields(true)), caseName);

// ---------------------------------------------------------------------------
// The same rules through the generated setters.

struct EnvelopeCase {
  const char* name;
  std::function<void(cm::windowMessage&)> fill;
  bool initialised;
};

void PrintTo(const EnvelopeCase& c, std::ostream* os) { *os << c.name; }

const std::vector<EnvelopeCase> kEnvelopes = {
    {"windowIdOnly", [](auto& m) { m.set_windowid("w"); }, true},
    {"completeSizeWithoutWindowId",
     [](auto& m) {
       m.mutable_size()->set_width(1);
       m.mutable_size()->set_height(2);
     },
     false},
    {"sizeWithWidthOnly",
     [](auto& m) {
       m.set_windowid("w");
       m.mutable_size()->set_width(1);
     },
     false},
    {"emptySubMessage",
     [](auto& m) {
       m.set_windowid("w");
       m.mutable_title();
     },
     false},
    {"positionWithoutValue64",
     [](auto& m) {
       m.set_windowid("w");
       auto& p = *m.mutable_position();
       p.set_x(1);
       p.set_y(2);
       p.set_width(3);
       p.set_height(4);
       p.set_flag(false);
     },
     false},
    {"oneOfThreeDroppedFilesWithoutItsField",
     [](auto& m) {
       m.set_windowid("w");
       m.add_droppedfiles()->set_file("a");
       m.add_droppedfiles();
       m.add_droppedfiles()->set_file("c");
     },
     false},
    {"droppedFileWithEmptyFile",
     [](auto& m) {
       m.set_windowid("w");
       m.add_droppedfiles()->set_file("");
     },
     true},
    {"windowIdClearedAgain",
     [](auto& m) {
       m.set_windowid("w");
       m.clear_windowid();
     },
     false},
    {"everyFieldComplete",
     [](auto& m) { m = messages_test::completeEnvelope(); }, true},
};

class EnvelopeInitialisationTest
    : public ::testing::TestWithParam<EnvelopeCase> {};

TEST_P(EnvelopeInitialisationTest, FollowsTheRequiredFields) {
  cm::windowMessage message;
  GetParam().fill(message);
  EXPECT_EQ(message.IsInitialized(), GetParam().initialised);

  // The verifying parse agrees; the partial parse takes either.
  const std::string bytes = message.SerializePartialAsString();
  cm::windowMessage verified;
  EXPECT_EQ(verified.ParseFromString(bytes), GetParam().initialised);
  cm::windowMessage partial;
  EXPECT_TRUE(partial.ParsePartialFromString(bytes));
}

INSTANTIATE_TEST_SUITE_P(Envelopes, EnvelopeInitialisationTest,
                         ::testing::ValuesIn(kEnvelopes),
                         [](const auto& info) { return info.param.name; });

TEST(DebugPortMessageTest, BothTextsAreRequired) {
  cm::debugPortMessage message;
  EXPECT_FALSE(message.IsInitialized());
  message.set_text1("a");
  EXPECT_FALSE(message.IsInitialized());
  message.clear_text1();
  message.set_text2("b");
  EXPECT_FALSE(message.IsInitialized());
  message.set_text1("");
  EXPECT_TRUE(message.IsInitialized());
}

}  // namespace
