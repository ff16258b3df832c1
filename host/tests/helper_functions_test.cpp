#include "tarvexwindow/window_host_helper_functions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>

#include "journal/journal.h"
#include "servicehost/servicehost.h"
#include "test_support.h"

namespace tarvexwindow {
namespace {

namespace sessionid = ostra::runtime_registry::sessionid;
using testing::LogRecorder;
using testing::ScopedEnvironment;
using testing::TemporaryDirectory;

const std::string kChannel = "tarvexwindow::cefclient";
const std::string kGetSessionIdText =
    "std::optional<std::__cxx11::basic_string<char> > getSessionID()";

class FixedRegistrar : public sessionid::SessionIdRegistrar {
 public:
  explicit FixedRegistrar(sessionid::SessionUuid uuid) : uuid_(uuid) {}
  sessionid::SessionUuid sessionUuid() const override { return uuid_; }

 private:
  sessionid::SessionUuid uuid_;
};

// A running service framework (with no registrar of its own) for one test.
class ServiceFramework {
 public:
  ServiceFramework() {
    ScopedEnvironment noSession("TARVEX_SESSION_ID", std::nullopt);
    ostra::cppmicroservices::startFramework("test");
  }
  ~ServiceFramework() { ostra::cppmicroservices::stopFramework(); }

  void registerRegistrar(std::shared_ptr<sessionid::SessionIdRegistrar> r) {
    ostra::cppmicroservices::getFramework()->getBundleContext().registerService(
        sessionid::kSessionIdRegistrarInterfaceId, std::move(r));
  }
};

struct SessionTextCase {
  const char* name;
  sessionid::SessionUuid bytes;
  const char* text;
};

void PrintTo(const SessionTextCase& c, std::ostream* os) { *os << c.name; }

const SessionTextCase kSessionTextCases[] = {
    {"Ascending",
     {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b,
      0x0c, 0x0d, 0x0e, 0x0f},
     "00010203-0405-0607-0809-0a0b0c0d0e0f"},
    {"AllOnes",
     {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
      0xff, 0xff, 0xff, 0xff},
     "ffffffff-ffff-ffff-ffff-ffffffffffff"},
    {"Mixed",
     {0x12, 0x3e, 0x45, 0x67, 0xe8, 0x9b, 0x12, 0xd3, 0xa4, 0x56, 0x42, 0x66,
      0x14, 0x17, 0x40, 0x00},
     "123e4567-e89b-12d3-a456-426614174000"},
};

class SessionTextTest : public ::testing::TestWithParam<SessionTextCase> {};

TEST_P(SessionTextTest, ComesFromTheRegistrarsBytesInOrder) {
  ServiceFramework framework;
  framework.registerRegistrar(
      std::make_shared<FixedRegistrar>(GetParam().bytes));
  LogRecorder recorder;

  EXPECT_EQ(getSessionID(), std::optional<std::string>(GetParam().text));

  const std::vector<std::string> expected = {
      "32 " + kGetSessionIdText,
      std::string("128 (sessionID.value_or(\"nil\"))=") + GetParam().text,
      "64 " + kGetSessionIdText};
  EXPECT_EQ(recorder.lines(kChannel), expected);
}

INSTANTIATE_TEST_SUITE_P(All, SessionTextTest,
                         ::testing::ValuesIn(kSessionTextCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST(SessionId, StandInRegistrarRoundTripsTheEnvironmentText) {
  const std::string text = "123e4567-e89b-12d3-a456-426614174000";
  ScopedEnvironment session("TARVEX_SESSION_ID", text);
  ostra::cppmicroservices::startFramework("test");
  EXPECT_EQ(getSessionID(), text);
  ostra::cppmicroservices::stopFramework();
}

enum class Registry { NoFramework, NoRegistrar, EmptyServiceObject };

struct NoSessionCase {
  const char* name;
  Registry registry;
};

void PrintTo(const NoSessionCase& c, std::ostream* os) { *os << c.name; }

const NoSessionCase kNoSessionCases[] = {
    {"NoFramework", Registry::NoFramework},
    {"NoRegistrar", Registry::NoRegistrar},
    {"EmptyServiceObject", Registry::EmptyServiceObject},
};

class NoSessionTest : public ::testing::TestWithParam<NoSessionCase> {};

TEST_P(NoSessionTest, GivesNothingAndPublishesNothing) {
  std::optional<ServiceFramework> framework;
  if (GetParam().registry != Registry::NoFramework) framework.emplace();
  if (GetParam().registry == Registry::EmptyServiceObject) {
    framework->registerRegistrar(nullptr);
  }
  standin::journal::clear();
  LogRecorder recorder;

  const auto endpoint = publishEndpoint(testing::fakeSystemCalls(4242));

  ASSERT_TRUE(endpoint.has_value());
  EXPECT_TRUE(endpoint->pathForTesting().empty());
  EXPECT_TRUE(testing::journalEntriesStartingWith({"Endpoint::"}).empty());
  const std::vector<std::string> expected = {
      "8 group ID is 4242", "32 " + kGetSessionIdText,
      "128 (sessionID.value_or(\"nil\"))=nil", "64 " + kGetSessionIdText};
  EXPECT_EQ(recorder.lines(kChannel), expected);
}

INSTANTIATE_TEST_SUITE_P(All, NoSessionTest,
                         ::testing::ValuesIn(kNoSessionCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

constexpr char kSession[] = "00010203-0405-0607-0809-0a0b0c0d0e0f";

class PublishEndpointTest : public ::testing::Test {
 protected:
  PublishEndpointTest()
      : endpointDir_("TARVEX_ENDPOINT_DIR", directory_.path()) {
    framework_.registerRegistrar(std::make_shared<FixedRegistrar>(
        *sessionid::parseSessionText(kSession)));
    standin::journal::clear();
  }

  std::string publishedPath() const {
    return directory_.path() + "/" + kSession + "/" + kGroupIdEndpointKey;
  }

  TemporaryDirectory directory_;
  ScopedEnvironment endpointDir_;
  ServiceFramework framework_;
};

TEST_F(PublishEndpointTest, PublishesTheProcessIdForTheSession) {
  LogRecorder recorder;
  std::optional<agent::vorn::endpointregistry::Endpoint> endpoint =
      publishEndpoint(testing::fakeSystemCalls(4242));

  ASSERT_TRUE(endpoint.has_value());
  EXPECT_EQ(endpoint->pathForTesting(), publishedPath());
  EXPECT_EQ(testing::readFile(publishedPath()), "4242");
  EXPECT_EQ(
      testing::journalEntriesStartingWith({"Endpoint::"}),
      std::vector<std::string>{
          std::string("Endpoint::publish 4242 ZelWindowHostPosixGroupId ") +
          kSession});
  EXPECT_EQ(recorder.lines(kChannel).front(), "8 group ID is 4242");

  endpoint.reset();
  EXPECT_FALSE(std::filesystem::exists(publishedPath()));
}

TEST_F(PublishEndpointTest, RegistryFailureIsLoggedAndStartUpGoesOn) {
  // A regular file where the registry needs a folder.
  const std::string blocker = directory_.path() + "/blocker";
  std::ofstream(blocker) << "x";
  ScopedEnvironment unusableDir("TARVEX_ENDPOINT_DIR", blocker + "/endpoints");
  LogRecorder recorder;

  std::optional<agent::vorn::endpointregistry::Endpoint> endpoint;
  ASSERT_NO_THROW(endpoint = publishEndpoint(testing::fakeSystemCalls(4242)));

  EXPECT_FALSE(endpoint.has_value());
  const auto lines = recorder.lines(kChannel);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind("8  error when publishing endpoint : ", 0), 0u)
      << lines.back();
}

struct GroupCase {
  const char* name;
  int groupResult;
  std::vector<std::string> expected;
};

void PrintTo(const GroupCase& c, std::ostream* os) { *os << c.name; }

const GroupCase kGroupCases[] = {
    {"Succeeds",
     0,
     {"32 void detail::setPosixGroupId()",
      "64 void detail::setPosixGroupId()"}},
    {"FailureIsLogged",
     -1,
     {"32 void detail::setPosixGroupId()",
      "512 failed to set group ID for window with error ID -1",
      "64 void detail::setPosixGroupId()"}},
};

class GroupTest : public ::testing::TestWithParam<GroupCase> {};

TEST_P(GroupTest, LeadsAGroupNamedByTheProcessId) {
  standin::journal::clear();
  LogRecorder recorder;
  detail::setPosixGroupId(
      testing::fakeSystemCalls(4242, GetParam().groupResult));
  EXPECT_EQ(standin::journal::entries(),
            std::vector<std::string>{"setpgid 4242 4242"});
  EXPECT_EQ(recorder.lines(kChannel), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(All, GroupTest, ::testing::ValuesIn(kGroupCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace tarvexwindow
