// Uses only <cefclient_messages.pb.h> and the installed cefclient_messages
// package: builds an envelope, round-trips it, and checks the bytes.
#include <cefclient_messages.pb.h>

#include <cstdio>
#include <string>

int main() {
  cefclient_messages::windowMessage message;
  message.set_windowid("");
  message.mutable_size()->set_width(800);
  message.mutable_size()->set_height(600);
  const std::string bytes = message.SerializeAsString();
  if (bytes != std::string("\x0A\x00\x22\x06\x08\xA0\x06\x10\xD8\x04", 10)) {
    return 1;
  }

  cefclient_messages::windowMessage parsed;
  if (!parsed.ParseFromString(bytes)) return 2;
  if (parsed.size().width() != 800 || parsed.size().height() != 600) return 3;
  if (parsed.GetTypeName() != "cefclient_messages.windowMessage") return 4;
  std::puts("cefclient_messages package: ok");
  return 0;
}
