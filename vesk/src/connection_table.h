// ConnectionTable: the table of an emitter or a listener, a set of
// connections ordered by address, kept as a sorted vector because it is
// walked on every send and changed only by connecting and cutting.
// Guarded by the global connection lock (the owner's field comment says so).
#pragma once

#include <algorithm>
#include <functional>
#include <vector>

namespace VESK {

class Connection;

struct ConnectionTable {
  std::vector<Connection*> entries;  // ascending by address, no duplicates

  // Inserting a connection that is present changes nothing.
  void insert(Connection* connection) {
    auto at = std::lower_bound(entries.begin(), entries.end(), connection,
                               std::less<Connection*>());
    if (at == entries.end() || *at != connection) {
      entries.insert(at, connection);
    }
  }
  // Removing a connection that is absent changes nothing.
  void erase(Connection* connection) noexcept {
    auto at = std::lower_bound(entries.begin(), entries.end(), connection,
                               std::less<Connection*>());
    if (at != entries.end() && *at == connection) entries.erase(at);
  }
};

inline int tableSize(const ConnectionTable* table) noexcept {
  return table ? static_cast<int>(table->entries.size()) : 0;
}

}  // namespace VESK
