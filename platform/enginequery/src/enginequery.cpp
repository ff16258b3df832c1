#include "enginequery/enginequery.h"

#include <atomic>

namespace enginequery {
namespace {

std::atomic<std::uint64_t> instanceId{1};
std::atomic<bool> contextActive{false};

}  // namespace

std::uint64_t engineInstanceId() { return instanceId.load(); }
bool isEngineContextActive() { return contextActive.load(); }

namespace testing {
void setEngineInstanceId(std::uint64_t id) { instanceId.store(id); }
void setEngineContextActive(bool active) { contextActive.store(active); }
}  // namespace testing

}  // namespace enginequery
