#include "endpointregistry/endpoint.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace {

using agent::vorn::endpointregistry::Endpoint;
using agent::vorn::endpointregistry::endpointDirectory;
namespace fs = std::filesystem;

class ScopedVariable {
 public:
  ScopedVariable(const char* name, std::optional<std::string> value)
      : name_(name) {
    if (const char* old = ::getenv(name)) previous_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (previous_) {
      ::setenv(name_, previous_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

class EndpointTest : public ::testing::Test {
 protected:
  EndpointTest() {
    std::string pattern = (fs::temp_directory_path() / "endpoint-XXXXXX");
    root_ = ::mkdtemp(pattern.data());
    dir_.emplace("TARVEX_ENDPOINT_DIR", root_ + "/endpoints");
  }
  ~EndpointTest() override {
    dir_.reset();
    fs::remove_all(root_);
  }

  static std::string read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string root_;
  std::optional<ScopedVariable> dir_;
};

TEST_F(EndpointTest, PublishesValueUnderSessionAndKeyUntilDestroyed) {
  const std::string path = root_ + "/endpoints/session-1/Key";
  {
    Endpoint endpoint = Endpoint::publish("4242", "Key", "session-1");
    EXPECT_EQ(endpoint.pathForTesting(), path);
    EXPECT_EQ(read(path), "4242");
    // Nothing but the publication is left in the folder (no temporary).
    EXPECT_EQ(
        std::distance(fs::directory_iterator(root_ + "/endpoints/session-1"),
                      fs::directory_iterator()),
        1);
  }
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(fs::exists(root_ + "/endpoints/session-1"));
}

TEST_F(EndpointTest, MovingHandsOverThePublication) {
  const std::string path = root_ + "/endpoints/s/Key";
  std::optional<Endpoint> holder;
  {
    Endpoint endpoint = Endpoint::publish("1", "Key", "s");
    holder.emplace(std::move(endpoint));
  }
  EXPECT_TRUE(fs::exists(path));  // the moved-from handle released nothing
  Endpoint other = Endpoint::publish("2", "Other", "s");
  *holder = std::move(other);  // assigning over releases the old one
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(fs::exists(root_ + "/endpoints/s/Other"));
  holder.reset();
  EXPECT_FALSE(fs::exists(root_ + "/endpoints/s/Other"));
}

TEST_F(EndpointTest, DefaultEndpointPublishesNothing) {
  Endpoint endpoint;
  EXPECT_TRUE(endpoint.pathForTesting().empty());
}

struct NameCase {
  const char* name;
  const char* key;
  const char* session;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

const NameCase kInvalidNames[] = {
    {"EmptyKey", "", "s"},      {"EmptySession", "Key", ""},
    {"SlashInKey", "a/b", "s"}, {"SlashInSession", "Key", "../s"},
    {"DotsInKey", "..", "s"},   {"DotsInSession", "Key", "a..b"},
    {"DotSession", "Key", "."},
};

class InvalidNameTest : public EndpointTest,
                        public ::testing::WithParamInterface<NameCase> {};

TEST_P(InvalidNameTest, IsRejectedWithoutWriting) {
  EXPECT_THROW(Endpoint::publish("1", GetParam().key, GetParam().session),
               std::invalid_argument);
  EXPECT_FALSE(fs::exists(root_ + "/endpoints"));
}

INSTANTIATE_TEST_SUITE_P(All, InvalidNameTest,
                         ::testing::ValuesIn(kInvalidNames),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST(EndpointDirectory, FollowsTheVariablesInOrder) {
  ScopedVariable runtime("XDG_RUNTIME_DIR", "/run/user/test");
  {
    ScopedVariable dir("TARVEX_ENDPOINT_DIR", "/given");
    EXPECT_EQ(endpointDirectory(), "/given");
  }
  ScopedVariable noDir("TARVEX_ENDPOINT_DIR", std::nullopt);
  EXPECT_EQ(endpointDirectory(), "/run/user/test/tarvex-endpoints");
  ScopedVariable noRuntime("XDG_RUNTIME_DIR", std::nullopt);
  EXPECT_EQ(endpointDirectory(),
            "/tmp/tarvex-endpoints-" + std::to_string(::getuid()));
}

TEST_F(EndpointTest, UnwritableFolderIsARuntimeError) {
  std::ofstream(root_ + "/file") << "x";
  ScopedVariable dir("TARVEX_ENDPOINT_DIR", root_ + "/file/endpoints");
  EXPECT_THROW(Endpoint::publish("1", "Key", "s"), std::runtime_error);
}

}  // namespace
