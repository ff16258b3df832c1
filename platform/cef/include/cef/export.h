// Export macro of the browser-framework stand-in.
#pragma once
#define CEF_STANDIN_EXPORT __attribute__((visibility("default")))
