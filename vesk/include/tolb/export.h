// Export macro of libvesk (namespaces VESK and TOLB). Symbols are hidden by
// default; only what carries VESK_EXPORT is part of the library's interface.
#pragma once

#define VESK_EXPORT __attribute__((visibility("default")))
