# Small helpers shared by the folders' CMakeLists.

# mpu_add_library(<target> SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# A static library whose headers are included as "<folder>/<header>.h"
# from the project root.
function(mpu_add_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}")
  target_link_libraries(${target} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE mpu_warnings ${ARG_PRIVATE_LIBS})
endfunction()

# mpu_add_test(<target> SOURCES ... [LIBS ...] [ENVIRONMENT ...] [OWN_MAIN])
# One GoogleTest executable; every test case is registered with CTest.
# OWN_MAIN: the sources bring main() (for example to create a Qt application).
function(mpu_add_test target)
  cmake_parse_arguments(ARG "OWN_MAIN" "" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  if(ARG_OWN_MAIN)
    set(gtest_libs GTest::gmock GTest::gtest)
  else()
    set(gtest_libs GTest::gmock GTest::gtest_main)
  endif()
  target_link_libraries(${target} PRIVATE mpu_warnings ${ARG_LIBS} ${gtest_libs})
  # Shared test fixtures are included as "fixtures/<name>.h".
  target_include_directories(${target} PRIVATE "${PROJECT_SOURCE_DIR}" "${PROJECT_SOURCE_DIR}/tests")
  gtest_discover_tests(${target}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300 ENVIRONMENT "${ARG_ENVIRONMENT}")
endfunction()

# mpu_add_bench(<target> SOURCES ... [LIBS ...])
function(mpu_add_bench target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE mpu_warnings ${ARG_LIBS} benchmark::benchmark)
  target_include_directories(${target} PRIVATE "${PROJECT_SOURCE_DIR}")
endfunction()
