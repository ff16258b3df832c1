#include "tarvexwindow/window_launch_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include "journal/journal.h"
#include "test_support.h"

namespace tarvexwindow {
namespace {

using testing::Arguments;
using testing::LogRecorder;

struct PositionCase {
  const char* name;
  const char* text;
  std::optional<std::array<int, 4>> expected;  // nothing: invalid
};

void PrintTo(const PositionCase& c, std::ostream* os) { *os << c.name; }

const PositionCase kPositionCases[] = {
    {"Commas", "10,20,640,480", std::array{10, 20, 640, 480}},
    {"Spaces", "10 20 640 480", std::array{10, 20, 640, 480}},
    {"EmptyTokenBetweenCommas", "10,,20, 640 ,480",
     std::array{10, 20, 640, 480}},
    {"LeadingAndTrailingDelimiters", " ,10,20,640,480, ",
     std::array{10, 20, 640, 480}},
    {"MissingNumbersAreZero", "100,200", std::array{100, 200, 0, 0}},
    {"Empty", "", std::array{0, 0, 0, 0}},
    {"OnlyDelimiters", " ,, ,", std::array{0, 0, 0, 0}},
    {"Signs", "-5,+7", std::array{-5, 7, 0, 0}},
    {"LeadingZeros", "007,0", std::array{7, 0, 0, 0}},
    {"Int32Limits", "-2147483648,2147483647",
     std::array<int, 4>{-2147483647 - 1, 2147483647, 0, 0}},
    {"AboveInt32", "2147483648", std::nullopt},
    {"BelowInt32", "-2147483649", std::nullopt},
    {"Letters", "10,x,20", std::nullopt},
    {"SignOnly", "10,+", std::nullopt},
    {"TwoSigns", "--5", std::nullopt},
    {"Decimal", "1.5", std::nullopt},
    {"TrailingLetter", "10px", std::nullopt},
    {"OtherDelimiter", "10;20", std::nullopt},
    {"FifthNumber", "1,2,3,4,5", std::nullopt},
};

class PositionTest : public ::testing::TestWithParam<PositionCase> {};

TEST_P(PositionTest, Parses) {
  const PositionCase& c = GetParam();
  if (c.expected) {
    EXPECT_EQ(parsePosition(c.text), *c.expected);
  } else {
    EXPECT_THROW(parsePosition(c.text), std::invalid_argument);
  }
}

INSTANTIATE_TEST_SUITE_P(All, PositionTest, ::testing::ValuesIn(kPositionCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

struct VisibilityCase {
  const char* name;
  const char* text;
  std::optional<bool> expected;  // nothing: invalid
};

void PrintTo(const VisibilityCase& c, std::ostream* os) { *os << c.name; }

const VisibilityCase kVisibilityCases[] = {
    {"One", "1", true},
    {"ZeroOne", "01", true},
    {"PlusZerosOne", "+001", true},
    {"Zero", "0", false},
    {"Zeros", "000", false},
    {"MinusZero", "-0", false},
    {"PlusZeros", "+00", false},
    {"MinusOne", "-1", std::nullopt},
    {"MinusZeroOne", "-01", std::nullopt},
    {"Two", "2", std::nullopt},
    {"Ten", "10", std::nullopt},
    {"True", "true", std::nullopt},
    {"False", "false", std::nullopt},
    {"Empty", "", std::nullopt},
    {"SignOnly", "+", std::nullopt},
    {"TwoSigns", "++1", std::nullopt},
    {"Space", " 1", std::nullopt},
};

class VisibilityTest : public ::testing::TestWithParam<VisibilityCase> {};

TEST_P(VisibilityTest, Parses) {
  const VisibilityCase& c = GetParam();
  if (c.expected) {
    EXPECT_EQ(parseVisibility(c.text), *c.expected);
  } else {
    EXPECT_THROW(parseVisibility(c.text), std::invalid_argument);
  }
}

INSTANTIATE_TEST_SUITE_P(All, VisibilityTest,
                         ::testing::ValuesIn(kVisibilityCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

// The options as read from a command line, with the errors it logs.
struct OptionsCase {
  const char* name;
  std::vector<std::string> switches;
  std::string url;
  std::array<int, 4> rect;
  bool visible;
  std::vector<std::string> errors;  // severity-512 texts on cefclient
};

void PrintTo(const OptionsCase& c, std::ostream* os) { *os << c.name; }

const OptionsCase kOptionsCases[] = {
    {"Defaults", {}, kDefaultStartPage, {0, 0, 800, 600}, true, {}},
    {"AllGiven",
     {"--url=https://example.org/a?b=c", "--position=10,20,640,480",
      "--visible=0"},
     "https://example.org/a?b=c",
     {10, 20, 640, 480},
     false,
     {}},
    {"EmptyUrl", {"--url="}, "", {0, 0, 800, 600}, true, {}},
    {"UrlWithoutValue", {"--url"}, "", {0, 0, 800, 600}, true, {}},
    {"PartialPosition",
     {"--position=100,200"},
     kDefaultStartPage,
     {100, 200, 0, 0},
     true,
     {}},
    {"EmptyPosition",
     {"--position="},
     kDefaultStartPage,
     {0, 0, 0, 0},
     true,
     {}},
    {"InvalidPosition",
     {"--position=10,abc", "--visible=0"},
     kDefaultStartPage,
     {0, 0, 800, 600},
     false,
     {"invalid value \"10,abc\" of switch \"position\" (\"abc\" is not a "
      "number); using the default 0,0,800,600"}},
    {"FifthPositionNumber",
     {"--position=1,2,3,4,5"},
     kDefaultStartPage,
     {0, 0, 800, 600},
     true,
     {"invalid value \"1,2,3,4,5\" of switch \"position\" (more than four "
      "numbers); using the default 0,0,800,600"}},
    {"InvalidVisibility",
     {"--visible=true", "--position=1,2,3,4"},
     kDefaultStartPage,
     {1, 2, 3, 4},
     true,
     {"invalid value \"true\" of switch \"visible\" (not a boolean); using "
      "the default 1 (visible)"}},
    {"ControlCharactersEscaped",
     {"--visible=1\n2"},
     kDefaultStartPage,
     {0, 0, 800, 600},
     true,
     {"invalid value \"1\\x0a2\" of switch \"visible\" (not a boolean); "
      "using the default 1 (visible)"}},
};

class OptionsTest : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(OptionsTest, ReadsSwitches) {
  const OptionsCase& c = GetParam();
  Arguments arguments(c.switches);
  const auto commandLine = CefCommandLine::createCommandLine();
  commandLine->initFromArgv(arguments.argc(), arguments.argv());
  LogRecorder recorder;

  const WindowLaunchOptions options = readWindowLaunchOptions(*commandLine);

  EXPECT_EQ(options.url, c.url);
  EXPECT_EQ((std::array{options.x, options.y, options.width, options.height}),
            c.rect);
  EXPECT_EQ(options.visible, c.visible);
  std::vector<std::string> expectedLines;
  for (const auto& error : c.errors) expectedLines.push_back("512 " + error);
  EXPECT_EQ(recorder.lines("tarvexwindow::cefclient"), expectedLines);
}

INSTANTIATE_TEST_SUITE_P(All, OptionsTest, ::testing::ValuesIn(kOptionsCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST(FirstWindow, IsRegisteredBeforeItLoadsItsAddress) {
  standin::journal::clear();
  WindowLaunchOptions options;
  options.url = "https://example.org/";
  options.x = 10;
  options.y = 20;
  options.width = 640;
  options.height = 480;
  options.visible = false;

  openFirstWindow(options);

  const auto entries = testing::journalEntriesStartingWith(
      {"generateWindowID", "WindowEventHandler",
       "NativeWindow::", "TarvexHandler::registerWindow"});
  ASSERT_EQ(entries.size(), 5u);
  const std::string id =
      entries[0].substr(std::string("generateWindowID ").size());
  EXPECT_EQ(entries[1], "WindowEventHandler");
  EXPECT_EQ(entries[2],
            "NativeWindow::makeNativeWindow " + id + " true false [] []");
  EXPECT_EQ(entries[3], "TarvexHandler::registerWindow " + id + " " + id);
  EXPECT_EQ(entries[4], "NativeWindow::newWindow " + id +
                            " https://example.org/ 10,20,640,480 false "
                            "Standard [] false");
}

}  // namespace
}  // namespace tarvexwindow
