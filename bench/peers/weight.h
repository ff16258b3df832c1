// The small work every slot of every subject does: add its argument (a
// string's length) to a sum.
#pragma once

#include <string>

namespace tarvex::bench {

inline long long weight(int value) { return value; }
inline long long weight(const std::u16string& value) {
  return static_cast<long long>(value.size());
}

}  // namespace tarvex::bench
