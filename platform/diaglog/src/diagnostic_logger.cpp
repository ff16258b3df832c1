#include <boost/log/attributes/clock.hpp>
#include <boost/log/attributes/constant.hpp>
#include <boost/log/attributes/function.hpp>

#include "diaglog/diaglog.h"

namespace ostra::log {

int PerThreadCounter::value() const {
  const int* value = value_.get();
  return value ? *value : 0;
}

void PerThreadCounter::increment() {
  if (!value_.get()) value_.reset(new int(0));
  ++*value_;
}

void PerThreadCounter::decrement() {
  if (!value_.get()) value_.reset(new int(0));
  --*value_;
}

basic_diagnostic_logger<char>::basic_diagnostic_logger(
    const std::string& channel)
    : core(boost::log::core::get()), channel_(channel) {
  namespace attrs = boost::log::attributes;
  attributes.insert("Channel", attrs::constant<std::string>(channel_));
  attributes.insert("Severity", severity_);
  attributes.insert("NestingDepth", attrs::make_function([this] {
                      return nestingDepth.value();
                    }));
  attributes.insert("TimeStamp", attrs::utc_clock());
  local::admin::get()->registerLogger(this);
}

basic_diagnostic_logger<char>::~basic_diagnostic_logger() {
  local::admin::get()->unregisterLogger(this);
}

boost::log::record basic_diagnostic_logger<char>::openRecord(
    Severity severity) {
  if (!core->get_logging_enabled()) return boost::log::record();
  boost::unique_lock<boost::shared_mutex> lock(writeLock);
  severity_.set_value(severity);
  return core->open_record(attributes);
}

}  // namespace ostra::log
