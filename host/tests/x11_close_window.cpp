#include "x11_close_window.h"

#include <X11/Xlib.h>

namespace tarvexwindow::testing {

bool closeWindowTitled(const std::string& display, const std::string& title) {
  Display* connection = XOpenDisplay(display.c_str());
  if (!connection) return false;
  const Window root = DefaultRootWindow(connection);
  Window rootReturn = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  bool sent = false;
  if (XQueryTree(connection, root, &rootReturn, &parent, &children, &count)) {
    for (unsigned int i = 0; i < count && !sent; ++i) {
      char* name = nullptr;
      XWindowAttributes attributes;
      if (XFetchName(connection, children[i], &name) && name && title == name &&
          XGetWindowAttributes(connection, children[i], &attributes) &&
          attributes.map_state == IsViewable) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = children[i];
        event.xclient.message_type =
            XInternAtom(connection, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(
            XInternAtom(connection, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        sent = XSendEvent(connection, children[i], False, NoEventMask, &event);
      }
      if (name) XFree(name);
    }
    if (children) XFree(children);
  }
  XSync(connection, False);
  XCloseDisplay(connection);
  return sent;
}

}  // namespace tarvexwindow::testing
