#include "qt_peers.h"

#include <QAbstractEventDispatcher>
#include <QByteArray>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

namespace tarvex::bench {

void startQtThread(QThread& thread, QtDispatcher dispatcher) {
  const bool noGlib = dispatcher == QtDispatcher::NoGlib;
  if (noGlib) {
    qputenv("QT_NO_GLIB", "1");
  } else {
    qunsetenv("QT_NO_GLIB");
  }
  thread.start();
  // The new thread reads the variable when it creates its dispatcher, which
  // it does before entering its loop; keep the variable until then.
  while (!thread.eventDispatcher()) std::this_thread::yield();
  qunsetenv("QT_NO_GLIB");
  const std::string kind = thread.eventDispatcher()->metaObject()->className();
  const bool isGlib = kind.find("Glib") != std::string::npos;
  if (noGlib && isGlib) {
    throw std::runtime_error("QThread runs on " + kind +
                             " although QT_NO_GLIB was set");
  }
}

void registerQtTypes() { qRegisterMetaType<std::u16string>("std::u16string"); }

}  // namespace tarvex::bench
