# Checks that EXECUTABLE defines the class (its virtual table) and the
# default instance of each of the 37 window-message types, and that it needs
# the protobuf lite runtime and not the full one.
#   cmake -DNM=<nm> -DREADELF=<readelf> -DEXECUTABLE=<file> -P <this file>

set(classes
  windowMessage debugPortMessage
  windowMessage_setTitle windowMessage_setIcon windowMessage_setSize
  windowMessage_setPosition windowMessage_setDownload
  windowMessage_setWindowState windowMessage_setURL windowMessage_setMaxSize
  windowMessage_setMinSize windowMessage_newWindow windowMessage_setCommand
  windowMessage_executeJS windowMessage_javascriptReturn
  windowMessage_popUpWindow windowMessage_setOnTop
  windowMessage_setDownloadDir windowMessage_getPosition
  windowMessage_renderProcessExit windowMessage_ScreenShot
  windowMessage_AllowCertificate windowMessage_setZoomLevel
  windowMessage_UpdateURL windowMessage_printToPDF windowMessage_pdfEvent
  windowMessage_setDragDrop windowMessage_DroppedFile
  windowMessage_SetAllWindowsActivated windowMessage_SetWindowModal
  windowMessage_WindowAlwaysOnTop windowMessage_WindowResizable
  windowMessage_getOuterPosition windowMessage_setOuterPosition
  windowMessage_proxyAuth windowMessage_setAllowNavigation
  windowMessage_setLocation)
list(LENGTH classes count)
if(NOT count EQUAL 37)
  message(FATAL_ERROR "expected 37 class names, listed ${count}")
endif()

execute_process(COMMAND ${NM} --demangle --defined-only ${EXECUTABLE}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${EXECUTABLE}")
endif()

set(missing)
foreach(class IN LISTS classes)
  # Virtual table and default instance, each a data symbol (d/D/b/B/r/R/V).
  foreach(symbol "vtable for cefclient_messages::${class}"
                 "cefclient_messages::_${class}_default_instance_")
    string(REGEX MATCH "\n[0-9a-f]+ [bBdDrRV] ${symbol}\n" found
           "\n${symbols}")
    if(NOT found)
      list(APPEND missing "${symbol}")
    endif()
  endforeach()
  # One member function at least, so that the code is there too.
  string(FIND "${symbols}" "cefclient_messages::${class}::ByteSizeLong() const"
         at)
  if(at EQUAL -1)
    list(APPEND missing "cefclient_messages::${class}::ByteSizeLong() const")
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " text)
  message(FATAL_ERROR "${EXECUTABLE} lacks:\n  ${text}")
endif()

execute_process(COMMAND ${READELF} --dynamic ${EXECUTABLE}
  OUTPUT_VARIABLE dynamic RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${READELF} failed on ${EXECUTABLE}")
endif()
if(NOT dynamic MATCHES "\\[libprotobuf-lite\\.so")
  message(FATAL_ERROR "${EXECUTABLE} does not need libprotobuf-lite")
endif()
if(dynamic MATCHES "\\[libprotobuf\\.so")
  message(FATAL_ERROR "${EXECUTABLE} needs the full protobuf runtime")
endif()
message(STATUS "${EXECUTABLE}: all ${count} window-message classes present")
