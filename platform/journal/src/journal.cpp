#include "journal/journal.h"

#include <mutex>

#include "diaglog/diaglog.h"

namespace standin::journal {
namespace {

ostra::log::diagnostic_logger journalChannel("platform::journal");

struct Journal {
  std::mutex mutex;
  std::vector<std::string> entries;                  // guarded by mutex
  std::function<void(const std::string&)> observer;  // guarded by mutex
};

Journal& theJournal() {
  // Never destroyed: stand-ins may record from static destructors.
  static Journal* const journal = new Journal;
  return *journal;
}

void store(const std::string& entry) {
  Journal& journal = theJournal();
  std::function<void(const std::string&)> observer;
  {
    std::lock_guard<std::mutex> lock(journal.mutex);
    journal.entries.push_back(entry);
    observer = journal.observer;
  }
  if (observer) observer(entry);
}

}  // namespace

void record(const std::string& entry) {
  store(entry);
  journalChannel.write(kLogSeverity, entry);
}

void recordQuietly(const std::string& entry) { store(entry); }

std::vector<std::string> entries() {
  Journal& journal = theJournal();
  std::lock_guard<std::mutex> lock(journal.mutex);
  return journal.entries;
}

void clear() {
  Journal& journal = theJournal();
  std::lock_guard<std::mutex> lock(journal.mutex);
  journal.entries.clear();
}

void setObserver(std::function<void(const std::string&)> observer) {
  Journal& journal = theJournal();
  std::lock_guard<std::mutex> lock(journal.mutex);
  journal.observer = std::move(observer);
}

}  // namespace standin::journal
