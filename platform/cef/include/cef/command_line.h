// Stand-in of the browser framework's command line: the switches of one
// argument list, in the forms "--name" and "--name=value". Arguments that do
// not start with "--" are not switches, and a lone "--" ends the switches.
// Names are compared exactly; when a switch is repeated the last value wins.
//
// Reference-counted; built once from an argument list and read-only after
// that, so any thread may query it.
#pragma once

#include <map>

#include "cef/export.h"
#include "cef/ref_counting.h"
#include "cef/string.h"

class CEF_STANDIN_EXPORT CefCommandLine : public CefBaseRefCounted {
 public:
  static scoped_refptr<CefCommandLine> createCommandLine();

  // Reads the switches of argv[1] .. argv[argc - 1].
  void initFromArgv(int argc, const char* const* argv);

  bool hasSwitch(const CefString& name) const;
  // The switch's value; empty when it has none or is absent.
  CefString getSwitchValue(const CefString& name) const;

 private:
  std::map<std::u16string, CefString> switches_;
};
