# Installs the build in BUILD_DIR into WORK_DIR/prefix, then configures,
# builds and runs the consumer project in CONSUMER_DIR against it.
# The consumer's executable is expected to be named "consumer".

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
