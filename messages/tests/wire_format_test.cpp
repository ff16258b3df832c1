// Bytes on the wire: every message builds to exactly the expected bytes,
// unknown fields are kept behind the known ones, repeated records merge as
// the wire format says, and malformed input is refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <ostream>

#include "test_support.h"

namespace {

namespace cm = cefclient_messages;
using google::protobuf::MessageLite;
using messages_test::bytesFromHex;
using messages_test::hexFromBytes;

// ---------------------------------------------------------------------------
// Serialisation vectors.

struct VectorCase {
  const char* name;
  std::function<std::unique_ptr<MessageLite>()> build;
  const char* expectedHex;
};

void PrintTo(const VectorCase& c, std::ostream* os) { *os << c.name; }

template <typename Message>
std::unique_ptr<MessageLite> make(std::function<void(Message&)> fill) {
  auto message = std::make_unique<Message>();
  fill(*message);
  return message;
}

const std::vector<VectorCase> kVectors = {
    {"envelopeWithOnlyWindowId",
     [] {
       return make<cm::windowMessage>([](auto& m) { m.set_windowid("w1"); });
     },
     "0A 02 77 31"},
    {"emptyWindowIdIsPresent",
     [] {
       return make<cm::windowMessage>([](auto& m) { m.set_windowid(""); });
     },
     "0A 00"},
    {"windowIdBytesAreNotValidatedAsUtf8",
     [] {
       return make<cm::windowMessage>(
           [](auto& m) { m.set_windowid(std::string("\xFF\xFE", 2)); });
     },
     "0A 02 FF FE"},
    {"emptyDroppedFilesWritesNothing",
     [] {
       return make<cm::windowMessage>([](auto& m) {
         m.set_windowid("");
         m.mutable_droppedfiles()->Clear();
       });
     },
     "0A 00"},
    {"titleSizeAndUrlInFieldOrder",
     [] {
       return make<cm::windowMessage>([](auto& m) {
         m.mutable_url()->set_url("u");
         m.mutable_size()->set_width(1);
         m.mutable_size()->set_height(2);
         m.mutable_title()->set_title("T");
         m.set_windowid("");
       });
     },
     "0A 00 12 03 0A 01 54 22 04 08 01 10 02 42 03 0A 01 75"},
    {"envelopeWithSize800x600",
     [] {
       return make<cm::windowMessage>([](auto& m) {
         m.set_windowid("");
         m.mutable_size()->set_width(800);
         m.mutable_size()->set_height(600);
       });
     },
     "0A 00 22 06 08 A0 06 10 D8 04"},
    {"field16HasTwoByteTag",
     [] {
       return make<cm::windowMessage>([](auto& m) {
         m.set_windowid("");
         m.mutable_ontop()->set_ontop(true);
       });
     },
     "0A 00 82 01 02 08 01"},
    {"field22HasTwoByteTag",
     [] {
       return make<cm::windowMessage>([](auto& m) {
         m.set_windowid("");
         m.mutable_zoomlevel()->set_zoomlevel(3);
       });
     },
     "0A 00 B2 01 02 08 03"},
    {"field35HasTwoByteTag",
     [] {
       return make<cm::windowMessage>([](auto& m) {
         m.set_windowid("");
         m.mutable_allownavigation()->set_allow(false);
       });
     },
     "0A 00 9A 02 02 08 00"},
    {"threeDroppedFilesInListOrder",
     [] {
       return make<cm::windowMessage>([](auto& m) {
         m.set_windowid("");
         m.add_droppedfiles()->set_file("a");
         m.add_droppedfiles()->set_file("b");
         m.add_droppedfiles()->set_file("c");
       });
     },
     "0A 00 DA 01 03 0A 01 61 DA 01 03 0A 01 62 DA 01 03 0A 01 63"},
    {"droppedFilesBetweenFields26And28",
     [] {
       return make<cm::windowMessage>([](auto& m) {
         m.mutable_allwindowsactivated()->set_activated(true);
         m.add_droppedfiles()->set_file("a");
         m.mutable_dragdrop()->set_enabled(true);
         m.set_windowid("");
       });
     },
     "0A 00 D2 01 02 08 01 DA 01 03 0A 01 61 E2 01 02 08 01"},
    {"setSize800x600",
     [] {
       return make<cm::windowMessage_setSize>([](auto& m) {
         m.set_width(800);
         m.set_height(600);
       });
     },
     "08 A0 06 10 D8 04"},
    {"setPositionNegativeXTakesTenBytes",
     [] {
       return make<cm::windowMessage_setPosition>([](auto& m) {
         m.set_value64(1);
         m.set_flag(true);
         m.set_height(200);
         m.set_width(300);
         m.set_y(20);
         m.set_x(-10);
       });
     },
     "08 F6 FF FF FF FF FF FF FF FF 01 10 14 18 AC 02 20 C8 01 28 01 30 01"},
    {"setZoomLevelInt32Minimum",
     [] {
       return make<cm::windowMessage_setZoomLevel>([](auto& m) {
         m.set_zoomlevel(std::numeric_limits<std::int32_t>::min());
       });
     },
     "08 80 80 80 80 F8 FF FF FF FF 01"},
    {"setOnTopFalseIsPresent",
     [] {
       return make<cm::windowMessage_setOnTop>(
           [](auto& m) { m.set_ontop(false); });
     },
     "08 00"},
    {"setTitleEmptyIsPresent",
     [] {
       return make<cm::windowMessage_setTitle>(
           [](auto& m) { m.set_title(""); });
     },
     "0A 00"},
    {"newWindowAllTwelveInFieldOrder",
     [] {
       return make<cm::windowMessage_newWindow>([](auto& m) {
         m.set_text5("e");
         m.set_text4("d");
         m.set_flag2(false);
         m.set_text3("c");
         m.set_text2("b");
         m.set_flag1(true);
         m.set_value5(5);
         m.set_value4(4);
         m.set_value3(3);
         m.set_value2(2);
         m.set_value1(1);
         m.set_text1("a");
       });
     },
     "0A 01 61 10 01 18 02 20 03 28 04 30 05 38 01 42 01 62 4A 01 63 50 00 "
     "5A 01 64 62 01 65"},
    {"javascriptReturnBoolBeforeString",
     [] {
       return make<cm::windowMessage_javascriptReturn>([](auto& m) {
         m.set_result("r");
         m.set_flag(true);
       });
     },
     "08 01 12 01 72"},
    {"popUpWindowLargestUint64",
     [] {
       return make<cm::windowMessage_popUpWindow>([](auto& m) {
         m.set_value64(std::numeric_limits<std::uint64_t>::max());
         m.set_flag(false);
         m.set_text2("b");
         m.set_text1("a");
       });
     },
     "0A 01 61 12 01 62 18 00 20 FF FF FF FF FF FF FF FF FF 01"},
    {"renderProcessExitMinusOne",
     [] {
       return make<cm::windowMessage_renderProcessExit>(
           [](auto& m) { m.set_status(-1); });
     },
     "08 FF FF FF FF FF FF FF FF FF 01"},
    {"proxyAuthEmptySecondText",
     [] {
       return make<cm::windowMessage_proxyAuth>([](auto& m) {
         m.set_text2("");
         m.set_text1("u");
       });
     },
     "0A 01 75 12 00"},
    {"debugPortMessageTwoTexts",
     [] {
       return make<cm::debugPortMessage>([](auto& m) {
         m.set_text2("b");
         m.set_text1("a");
       });
     },
     "0A 01 61 12 01 62"},
};

class SerialisationVectorTest : public ::testing::TestWithParam<VectorCase> {};

TEST_P(SerialisationVectorTest, WritesExactBytesAndReadsThemBack) {
  const auto message = GetParam().build();
  ASSERT_TRUE(message->IsInitialized());
  const std::string bytes = message->SerializeAsString();
  EXPECT_EQ(hexFromBytes(bytes), GetParam().expectedHex);
  EXPECT_EQ(message->ByteSizeLong(), bytes.size());

  std::unique_ptr<MessageLite> parsed(message->New());
  ASSERT_TRUE(parsed->ParseFromString(bytes));
  EXPECT_EQ(hexFromBytes(parsed->SerializeAsString()), GetParam().expectedHex);
}

INSTANTIATE_TEST_SUITE_P(Vectors, SerialisationVectorTest,
                         ::testing::ValuesIn(kVectors),
                         [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Unknown fields: kept with their tags and written back, unchanged and in
// the order met, after the known fields.

struct UnknownFieldCase {
  const char* name;
  const MessageLite* prototype;
  const char* inputHex;
  const char* reserialisedHex;
  std::function<void(const MessageLite&)> check;
};

void PrintTo(const UnknownFieldCase& c, std::ostream* os) { *os << c.name; }

const cm::windowMessage& asEnvelope(const MessageLite& message) {
  return static_cast<const cm::windowMessage&>(message);
}

const std::vector<UnknownFieldCase> kUnknownFields = {
    {"field36BeforeKnownFields", &cm::windowMessage::default_instance(),
     "A2 02 01 78 0A 01 77", "0A 01 77 A2 02 01 78",
     [](const MessageLite& m) { EXPECT_EQ(asEnvelope(m).windowid(), "w"); }},
    {"field36AfterTheLastKnownField", &cm::windowMessage::default_instance(),
     "A2 02 01 78 9A 02 02 08 01 0A 00", "0A 00 9A 02 02 08 01 A2 02 01 78",
     [](const MessageLite& m) {
       EXPECT_TRUE(asEnvelope(m).allownavigation().allow());
     }},
    {"debugPortMessageField3", &cm::debugPortMessage::default_instance(),
     "1A 01 7A 12 01 62 0A 01 61", "0A 01 61 12 01 62 1A 01 7A",
     [](const MessageLite& m) {
       const auto& debug = static_cast<const cm::debugPortMessage&>(m);
       EXPECT_EQ(debug.text1(), "a");
       EXPECT_EQ(debug.text2(), "b");
     }},
    {"field22AsVarintDoesNotSetZoomLevel",
     &cm::windowMessage::default_instance(), "B0 01 05 0A 01 77",
     "0A 01 77 B0 01 05",
     [](const MessageLite& m) { EXPECT_FALSE(asEnvelope(m).has_zoomlevel()); }},
    {"windowIdAsVarintDoesNotSetWindowId",
     &cm::windowMessage::default_instance(), "08 05 12 02 0A 00",
     "12 02 0A 00 08 05",
     [](const MessageLite& m) {
       EXPECT_FALSE(asEnvelope(m).has_windowid());
       EXPECT_FALSE(m.IsInitialized());
     }},
    {"unknownFieldInsideNestedMessage", &cm::windowMessage::default_instance(),
     "0A 00 22 06 18 07 08 01 10 02", "0A 00 22 06 08 01 10 02 18 07",
     [](const MessageLite& m) {
       EXPECT_EQ(asEnvelope(m).size().width(), 1);
       EXPECT_EQ(asEnvelope(m).size().height(), 2);
     }},
    {"fixed64AndFixed32InOrderMet", &cm::windowMessage::default_instance(),
     "C1 02 01 02 03 04 05 06 07 08 CD 02 0A 0B 0C 0D 0A 00",
     "0A 00 C1 02 01 02 03 04 05 06 07 08 CD 02 0A 0B 0C 0D",
     [](const MessageLite&) {}},
    {"groupField37", &cm::windowMessage::default_instance(),
     "AB 02 08 01 AC 02 0A 00", "0A 00 AB 02 08 01 AC 02",
     [](const MessageLite&) {}},
};

class UnknownFieldTest : public ::testing::TestWithParam<UnknownFieldCase> {};

TEST_P(UnknownFieldTest, SurviveParseAndReserialisationBehindKnownFields) {
  std::unique_ptr<MessageLite> message(GetParam().prototype->New());
  ASSERT_TRUE(
      message->ParsePartialFromString(bytesFromHex(GetParam().inputHex)));
  GetParam().check(*message);
  const std::string bytes = message->SerializePartialAsString();
  EXPECT_EQ(hexFromBytes(bytes), GetParam().reserialisedHex);

  // A second round changes nothing.
  std::unique_ptr<MessageLite> again(GetParam().prototype->New());
  ASSERT_TRUE(again->ParsePartialFromString(bytes));
  EXPECT_EQ(hexFromBytes(again->SerializePartialAsString()),
            GetParam().reserialisedHex);
}

INSTANTIATE_TEST_SUITE_P(Unknown, UnknownFieldTest,
                         ::testing::ValuesIn(kUnknownFields),
                         [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Repeated records of one field.

cm::windowMessage parseEnvelope(const char* hex) {
  cm::windowMessage message;
  EXPECT_TRUE(message.ParsePartialFromString(bytesFromHex(hex))) << hex;
  return message;
}

TEST(RepeatedRecordTest, TwoTitleRecordsMergeAndTheLaterTextWins) {
  const auto m = parseEnvelope("0A 00 12 03 0A 01 61 12 03 0A 01 62");
  EXPECT_EQ(m.title().title(), "b");
  EXPECT_EQ(hexFromBytes(m.SerializeAsString()), "0A 00 12 03 0A 01 62");
}

TEST(RepeatedRecordTest, TwoSizeRecordsMergeFieldByField) {
  const auto m = parseEnvelope("0A 00 22 02 08 01 22 02 10 02");
  EXPECT_EQ(m.size().width(), 1);
  EXPECT_EQ(m.size().height(), 2);
  EXPECT_TRUE(m.IsInitialized());
  EXPECT_EQ(hexFromBytes(m.SerializeAsString()), "0A 00 22 04 08 01 10 02");
}

TEST(RepeatedRecordTest, LaterWindowIdReplacesEarlier) {
  const auto m = parseEnvelope("0A 01 61 0A 01 62");
  EXPECT_EQ(m.windowid(), "b");
}

TEST(RepeatedRecordTest, DroppedFilesAppendInOrderMetAcrossOtherFields) {
  const auto m =
      parseEnvelope("DA 01 03 0A 01 61 0A 00 DA 01 03 0A 01 62 12 00");
  ASSERT_EQ(m.droppedfiles_size(), 2);
  EXPECT_EQ(m.droppedfiles(0).file(), "a");
  EXPECT_EQ(m.droppedfiles(1).file(), "b");
  EXPECT_EQ(hexFromBytes(m.SerializePartialAsString()),
            "0A 00 12 00 DA 01 03 0A 01 61 DA 01 03 0A 01 62");
}

// ---------------------------------------------------------------------------
// Malformed input fails the parse, verified or partial.

struct MalformedCase {
  const char* name;
  const char* hex;
};

void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.name; }

const std::vector<MalformedCase> kMalformed = {
    {"truncatedTag", "82"},
    {"missingLength", "0A"},
    {"lengthPastTheEnd", "0A 05 61"},
    {"hugeLength", "0A FF FF FF FF 0F 61"},
    {"truncatedVarintInsideSubMessage", "0A 00 22 02 08 80"},
    {"subMessageLengthPastTheEnd", "0A 00 22 05 08 01"},
    {"droppedFileLengthPastTheEnd", "0A 00 DA 01 05 0A 01 61"},
    {"unknownFieldLengthPastTheEnd", "0A 00 A2 02 05 61"},
    {"truncatedUnknownFixed64", "0A 00 C1 02 01 02 03"},
    {"varintLongerThanTenBytes",
     "0A 00 B0 01 FF FF FF FF FF FF FF FF FF FF 01"},
    {"fieldNumberZero", "00 01 0A 00"},
    {"wireType6", "0A 00 0E 00"},
    {"wireType7", "0A 00 0F 00"},
    {"endGroupWithoutStart", "0A 00 0C"},
    {"startGroupWithoutEnd", "0A 00 AB 02 08 01"},
};

class MalformedInputTest : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedInputTest, FailsTheParse) {
  const std::string bytes = bytesFromHex(GetParam().hex);
  cm::windowMessage partial;
  EXPECT_FALSE(partial.ParsePartialFromString(bytes));
  cm::windowMessage verified;
  EXPECT_FALSE(verified.ParseFromString(bytes));
}

INSTANTIATE_TEST_SUITE_P(Malformed, MalformedInputTest,
                         ::testing::ValuesIn(kMalformed),
                         [](const auto& info) { return info.param.name; });

}  // namespace
