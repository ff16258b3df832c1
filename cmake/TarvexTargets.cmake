# Helpers shared by every component's CMakeLists.txt.

# Warnings every target of ours compiles with.
add_library(tarvex_warnings INTERFACE)
target_compile_options(tarvex_warnings INTERFACE -Wall -Wextra)
add_library(tarvex::warnings ALIAS tarvex_warnings)

# tarvex_add_test(<name> SOURCES <files...> LIBRARIES <targets...>
#                 [LABELS <labels...>])
# One GoogleTest executable, its cases registered with CTest one by one.
function(tarvex_add_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBRARIES;LABELS")
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} GTest::gtest
                                        GTest::gmock GTest::gtest_main
                                        tarvex::warnings)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300 LABELS "${arg_LABELS}")
endfunction()

# tarvex_add_package_test(<name> <consumer-source-dir> [PKGCONFIG <module>])
# Installs the whole build into a fresh prefix and builds and runs the
# separate CMake project in <consumer-source-dir> against it, as a user of
# the installed packages would. With PKGCONFIG, also compiles its
# consumer.cpp with nothing but the flags `pkg-config <module>` gives.
function(tarvex_add_package_test name consumer_dir)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "PKGCONFIG" "")
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND}
      -DBUILD_DIR=${PROJECT_BINARY_DIR}
      -DCONSUMER_DIR=${consumer_dir}
      -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/${name}
      -DCXX_COMPILER=${CMAKE_CXX_COMPILER}
      -DCXX_FLAGS=${CMAKE_CXX_FLAGS}
      -DLINKER_FLAGS=${CMAKE_EXE_LINKER_FLAGS}
      -DPKGCONFIG_MODULE=${arg_PKGCONFIG}
      -P ${PROJECT_SOURCE_DIR}/cmake/RunPackageTest.cmake)
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS package)
endfunction()

# tarvex_install_library(<target> EXPORT <set>)
# Installs a shared library of ours into the export set <set>.
function(tarvex_install_library target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "EXPORT" "")
  install(TARGETS ${target} EXPORT ${arg_EXPORT}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endfunction()

# tarvex_install_package(<package> EXPORT <set> NAMESPACE <ns>)
# Writes <package>-config.cmake (from cmake/<package>-config.cmake.in),
# its version file and the exported targets of <set>.
function(tarvex_install_package package)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "EXPORT;NAMESPACE" "")
  set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/${package})
  install(EXPORT ${arg_EXPORT} NAMESPACE ${arg_NAMESPACE}
    FILE ${package}-targets.cmake DESTINATION ${config_dir})
  configure_package_config_file(
    ${PROJECT_SOURCE_DIR}/cmake/${package}-config.cmake.in
    ${PROJECT_BINARY_DIR}/packages/${package}-config.cmake
    INSTALL_DESTINATION ${config_dir})
  write_basic_package_version_file(
    ${PROJECT_BINARY_DIR}/packages/${package}-config-version.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES
    ${PROJECT_BINARY_DIR}/packages/${package}-config.cmake
    ${PROJECT_BINARY_DIR}/packages/${package}-config-version.cmake
    DESTINATION ${config_dir})
endfunction()

# tarvex_install_pkgconfig(<name>)
# Installs <name>.pc made from cmake/<name>.pc.in.
function(tarvex_install_pkgconfig name)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${name}.pc.in
                 ${PROJECT_BINARY_DIR}/packages/${name}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/packages/${name}.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()

# tarvex_add_standin(<name> SOURCES <files...> [EXPORTED]
#                    [PUBLIC <deps...>] [PRIVATE <deps...>])
# One stand-in library under platform/<folder>/: shared, with its public
# headers in <folder>/include, aliased as tarvex_platform::<name>. EXPORTED
# stand-ins are installed with their headers into the tarvex_platform
# package (the installed libraries link against them); the others are
# installed beside TARVEXWindow, which needs them at run time.
function(tarvex_add_standin name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "EXPORTED" "" "SOURCES;PUBLIC;PRIVATE")
  add_library(${name} SHARED ${arg_SOURCES})
  add_library(tarvex_platform::${name} ALIAS ${name})
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_link_libraries(${name} PUBLIC ${arg_PUBLIC}
                                PRIVATE ${arg_PRIVATE} tarvex::warnings)
  if(arg_EXPORTED)
    tarvex_install_library(${name} EXPORT tarvex_platform)
    install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  else()
    install(TARGETS ${name} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  endif()
endfunction()
