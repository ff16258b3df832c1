// Export macro of the browser-client stand-in.
#pragma once
#define BROWSERCLIENT_EXPORT __attribute__((visibility("default")))
