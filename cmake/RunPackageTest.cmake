# Installs the build in BUILD_DIR into WORK_DIR/prefix, then configures,
# builds and runs the consumer project in CONSUMER_DIR against it.
# The consumer's executable is expected to be named "consumer". With
# PKGCONFIG_MODULE, CONSUMER_DIR/consumer.cpp is also compiled with only the
# flags pkg-config gives for that module, and run.

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
set(consumer_build ${WORK_DIR}/build)

function(run_step)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "step failed (${result}): ${ARGV}")
  endif()
endfunction()

run_step(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run_step(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${consumer_build}
  -DCMAKE_PREFIX_PATH=${prefix}
  -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}"
  -DCMAKE_BUILD_TYPE=RelWithDebInfo)
run_step(${CMAKE_COMMAND} --build ${consumer_build})
run_step(${consumer_build}/consumer)

if(PKGCONFIG_MODULE)
  file(GLOB_RECURSE pc_file ${prefix}/*/${PKGCONFIG_MODULE}.pc)
  if(NOT pc_file)
    message(FATAL_ERROR "${PKGCONFIG_MODULE}.pc is not installed")
  endif()
  get_filename_component(pc_dir "${pc_file}" DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} ${pc_dir})
  execute_process(COMMAND pkg-config --cflags --libs ${PKGCONFIG_MODULE}
    OUTPUT_VARIABLE pc_flags OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE pc_result)
  if(NOT pc_result EQUAL 0)
    message(FATAL_ERROR "pkg-config ${PKGCONFIG_MODULE} failed")
  endif()
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  separate_arguments(cxx_flags UNIX_COMMAND "${CXX_FLAGS}")
  separate_arguments(linker_flags UNIX_COMMAND "${LINKER_FLAGS}")
  set(pc_consumer ${WORK_DIR}/pkgconfig-consumer)
  run_step(${CXX_COMPILER} -std=c++20 ${cxx_flags}
    ${CONSUMER_DIR}/consumer.cpp -o ${pc_consumer} ${pc_flags} ${linker_flags})
  run_step(${pc_consumer})
endif()
