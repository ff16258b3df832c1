// Process entry of TARVEXWindow: every role of the browser framework.
#include "tarvexwindow/window_host.h"

int main(int argc, char** argv) {
  return tarvexwindow::runWindowHost(argc, argv);
}
