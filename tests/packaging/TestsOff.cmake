# Configuring with the tests off leaves the program and its libraries to build, nothing else: the
# benchmarks link the tests' simulated instruments and helpers and would fail to link without them.
# The libraries and the program are the same targets as in the build with the tests, which builds
# and links them, so a configure shows what a build without tests makes, without a second build.
#   cmake -DSOURCE=<source> -DBINARY=<empty folder> -DNINJA=<ninja> -P TestsOff.cmake
file(REMOVE_RECURSE ${BINARY})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BINARY} -G Ninja -DCMAKE_MAKE_PROGRAM=${NINJA}
                        -DORVANTO_TESTS=OFF -DORVANTO_BENCH=ON
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "configuring with the tests off failed:\n${errors}")
endif()
execute_process(COMMAND ${NINJA} -C ${BINARY} -t targets all OUTPUT_VARIABLE targets RESULT_VARIABLE result)
string(REGEX MATCHALL "[^\n]*: CXX_EXECUTABLE_LINKER[^\n]*" programs "${targets}")
list(TRANSFORM programs REPLACE ":.*" "")
if(NOT result EQUAL 0 OR NOT programs STREQUAL "bin/orvanto")
  message(FATAL_ERROR "with the tests off the build links more than the program: ${programs}")
endif()
file(REMOVE_RECURSE ${BINARY})
