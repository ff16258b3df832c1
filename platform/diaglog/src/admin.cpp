#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/expressions/message.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/make_shared.hpp>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>

#include "diaglog/diaglog.h"

namespace ostra::log::local {
namespace {

constexpr std::size_t kMaxBufferedRecords = 10000;

CapturedRecord capture(const boost::log::record_view& record) {
  namespace logging = boost::log;
  CapturedRecord captured;
  captured.channel = logging::extract_or_default<std::string>("Channel", record,
                                                              std::string());
  captured.severity =
      logging::extract_or_default<Severity>("Severity", record, 0u);
  captured.nestingDepth =
      logging::extract_or_default<int>("NestingDepth", record, 0);
  captured.text = logging::extract_or_default<std::string>(
      logging::aux::default_attribute_names::message(), record, std::string());
  return captured;
}

std::string formatLine(const boost::log::record_view& record,
                       const CapturedRecord& captured) {
  const auto time = boost::log::extract_or_default<boost::posix_time::ptime>(
      "TimeStamp", record, boost::posix_time::microsec_clock::universal_time());
  std::string line = boost::posix_time::to_iso_extended_string(time);
  line += ' ';
  line += captured.channel;
  line += ' ';
  line += std::to_string(captured.severity);
  line += ' ';
  line.append(2 * static_cast<std::size_t>(std::max(0, captured.nestingDepth)),
              ' ');
  line += captured.text;
  line += '\n';
  return line;
}

}  // namespace

struct admin::State {
  mutable std::mutex mutex;
  std::string destination;           // guarded by mutex
  std::FILE* file = nullptr;         // guarded by mutex
  std::deque<std::string> buffered;  // guarded by mutex
  std::map<int, std::function<void(const CapturedRecord&)>>
      observers;                                     // guarded by mutex
  int nextObserverId = 1;                            // guarded by mutex
  std::set<basic_diagnostic_logger<char>*> loggers;  // guarded by mutex
  std::map<std::string, Severity> masks;             // guarded by mutex

  ~State() {
    if (file) std::fclose(file);
  }

  void consume(const boost::log::record_view& record) {
    const CapturedRecord captured = capture(record);
    std::string line = formatLine(record, captured);
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& [id, observer] : observers) observer(captured);
    if (file) {
      std::fputs(line.c_str(), file);
      std::fflush(file);
      return;
    }
    buffered.push_back(std::move(line));
    if (buffered.size() > kMaxBufferedRecords) buffered.pop_front();
  }
};

namespace {

// Hands every record of the core to the administration.
class AdminBackend : public boost::log::sinks::basic_sink_backend<
                         boost::log::sinks::concurrent_feeding> {
 public:
  explicit AdminBackend(std::shared_ptr<admin::State> state)
      : state_(std::move(state)) {}
  void consume(const boost::log::record_view& record) {
    state_->consume(record);
  }

 private:
  // Shared with the administration, so that a record pushed by the core
  // while the process exits never reaches freed state.
  std::shared_ptr<admin::State> state_;
};

}  // namespace

admin::admin() : state_(std::make_shared<State>()) {}

admin::~admin() = default;

boost::shared_ptr<admin> admin::get() {
  // Built on first use (often during another library's static
  // initialisation) and kept until exit, after every logger built later.
  static const boost::shared_ptr<admin> instance = [] {
    auto created = boost::make_shared<admin>();
    using Sink = boost::log::sinks::synchronous_sink<AdminBackend>;
    auto sink = boost::make_shared<Sink>(
        boost::make_shared<AdminBackend>(created->state_));
    boost::log::core::get()->add_sink(sink);
    return created;
  }();
  return instance;
}

void admin::setDestination(const std::string& destination) {
  if (destination.empty()) {
    throw std::invalid_argument("diagnostic destination is empty");
  }
  std::FILE* file = std::fopen(destination.c_str(), "a");
  if (!file) {
    throw std::runtime_error("cannot open diagnostic destination " +
                             destination);
  }
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->file) std::fclose(state_->file);
  state_->file = file;
  state_->destination = destination;
  for (const std::string& line : state_->buffered)
    std::fputs(line.c_str(), file);
  state_->buffered.clear();
  std::fflush(file);
}

std::string admin::destination() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->destination;
}

void admin::setEnabledSeverities(const std::string& channel, Severity mask) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->masks[channel] = mask;
  for (auto* logger : state_->loggers) {
    if (logger->channel() == channel) logger->enabledSeverities.store(mask);
  }
}

int admin::addObserver(std::function<void(const CapturedRecord&)> observer) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const int id = state_->nextObserverId++;
  state_->observers.emplace(id, std::move(observer));
  return id;
}

void admin::removeObserver(int id) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->observers.erase(id);
}

void admin::registerLogger(basic_diagnostic_logger<char>* logger) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->loggers.insert(logger);
  const auto mask = state_->masks.find(logger->channel());
  if (mask != state_->masks.end()) logger->enabledSeverities = mask->second;
}

void admin::unregisterLogger(basic_diagnostic_logger<char>* logger) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->loggers.erase(logger);
}

}  // namespace ostra::log::local
