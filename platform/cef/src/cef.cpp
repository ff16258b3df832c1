#include <atomic>
#include <stdexcept>
#include <string_view>

#include "cef/app.h"
#include "cef/command_line.h"
#include "cef/string.h"
#include "journal/journal.h"
#include "utf/utf.h"

CefString::CefString(const char* utf8)
    : text_(standin::utf::toUtf16(utf8 ? utf8 : "")) {}

CefString::CefString(const std::string& utf8)
    : text_(standin::utf::toUtf16(utf8)) {}

std::string CefString::toString() const { return standin::utf::toUtf8(text_); }

scoped_refptr<CefCommandLine> CefCommandLine::createCommandLine() {
  return scoped_refptr<CefCommandLine>(new CefCommandLine);
}

void CefCommandLine::initFromArgv(int argc, const char* const* argv) {
  switches_.clear();
  for (int i = 1; i < argc && argv[i]; ++i) {
    const std::string_view argument(argv[i]);
    if (argument == "--") break;
    if (argument.size() <= 2 || argument.substr(0, 2) != "--") continue;
    const std::string_view body = argument.substr(2);
    const std::size_t equals = body.find('=');
    const std::string name(body.substr(0, equals));
    const std::string value(
        equals == std::string_view::npos ? "" : body.substr(equals + 1));
    switches_[CefString(name).toString16()] = CefString(value);
  }
}

bool CefCommandLine::hasSwitch(const CefString& name) const {
  return switches_.count(name.toString16()) != 0;
}

CefString CefCommandLine::getSwitchValue(const CefString& name) const {
  const auto found = switches_.find(name.toString16());
  return found == switches_.end() ? CefString() : found->second;
}

namespace {

std::atomic<int> childProcessResult{0};
std::atomic<bool> initialized{false};

}  // namespace

int CefExecuteProcess(const CefMainArgs& args, scoped_refptr<CefApp>, void*) {
  const auto commandLine = CefCommandLine::createCommandLine();
  commandLine->initFromArgv(args.argc, args.argv);
  if (!commandLine->hasSwitch("type")) {
    standin::journal::record("CefExecuteProcess browser");
    return -1;
  }
  standin::journal::record("CefExecuteProcess child type=" +
                           commandLine->getSwitchValue("type").toString());
  return childProcessResult.load();
}

bool CefInitialize(const CefMainArgs&, const CefSettings& settings,
                   scoped_refptr<CefApp>, void*) {
  if (settings.size != sizeof(CefSettings)) {
    throw std::logic_error("CefSettings.size is not set");
  }
  if (initialized.exchange(true)) {
    throw std::logic_error("the browser framework is already initialised");
  }
  standin::journal::record(
      "CefInitialize no_sandbox=" + std::to_string(settings.no_sandbox) +
      " resources_dir_path=" + settings.resources_dir_path.toString() +
      " locales_dir_path=" + settings.locales_dir_path.toString() +
      " remote_debugging_port=" +
      std::to_string(settings.remote_debugging_port));
  return true;
}

void CefShutdown() {
  initialized.store(false);
  standin::journal::record("CefShutdown");
}

namespace cef_standin {

void setChildProcessResultForTesting(int result) {
  childProcessResult.store(result);
}

bool isInitialized() { return initialized.load(); }

}  // namespace cef_standin
