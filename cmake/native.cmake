# Native (Linux) targets: the command-line processor, unit tests and benchmarks.

file(GLOB DRELVANT_CLI_SOURCES CONFIGURE_DEPENDS cli/*.cpp)
if(DRELVANT_CLI_SOURCES)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
  pkg_check_modules(SOXR REQUIRED IMPORTED_TARGET soxr)
  pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
  # Everything but the entry point in a library, so unit tests can reach the program's pieces.
  list(FILTER DRELVANT_CLI_SOURCES EXCLUDE REGEX "/cli/main\\.cpp$")
  add_library(drelvant_cli STATIC ${DRELVANT_CLI_SOURCES})
  target_link_libraries(drelvant_cli PUBLIC drelvant_core PkgConfig::SNDFILE PkgConfig::SOXR
                        PkgConfig::CAIRO)
  include(cmake/console.cmake)
  add_executable(drelvant cli/main.cpp)
  target_link_libraries(drelvant PRIVATE drelvant_cli)
  target_link_options(drelvant PRIVATE -Wl,-z,relro,-z,now)  # read-only GOT, as Debian builds
  set_target_properties(drelvant PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endif()

add_executable(compare_raw tools/compare_raw.cpp)
target_link_libraries(compare_raw PRIVATE drelvant_flags)
set_target_properties(compare_raw PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

if(DRELVANT_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  include(GoogleTest)
  file(GLOB DRELVANT_NATIVE_TESTS CONFIGURE_DEPENDS tests/native/*.cpp)
  file(GLOB DRELVANT_CLI_UNIT_TESTS CONFIGURE_DEPENDS tests/cli/*.cpp)
  add_executable(drelvant_tests ${DRELVANT_NATIVE_TESTS} ${DRELVANT_CLI_UNIT_TESTS})
  target_link_libraries(drelvant_tests PRIVATE drelvant_core GTest::gtest GTest::gtest_main)
  if(TARGET drelvant_cli)
    target_link_libraries(drelvant_tests PRIVATE drelvant_cli)
  endif()
  target_compile_definitions(drelvant_tests PRIVATE DRELVANT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(drelvant_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
  # The includes keep the engine's layering (faces on the host API, no cycle among the stages).
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME layering.includes COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/layering/check_layers.py
           ${CMAKE_SOURCE_DIR})
  add_test(NAME layering.self_test COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/layering/check_layers.py
           --self-test)
  file(GLOB DRELVANT_CLI_TESTS CONFIGURE_DEPENDS tests/cli/*.sh)
  foreach(script ${DRELVANT_CLI_TESTS})
    get_filename_component(name ${script} NAME_WE)
    add_test(NAME cli.${name} COMMAND bash ${script} $<TARGET_FILE:drelvant> ${CMAKE_SOURCE_DIR})
  endforeach()
endif()

file(GLOB DRELVANT_BENCH_SOURCES CONFIGURE_DEPENDS bench/*.cpp)
if(DRELVANT_BENCHMARKS AND DRELVANT_BENCH_SOURCES)
  find_package(benchmark REQUIRED)
  add_executable(drelvant_bench ${DRELVANT_BENCH_SOURCES})
  target_link_libraries(drelvant_bench PRIVATE drelvant_core benchmark::benchmark benchmark::benchmark_main)
  if(TARGET drelvant_cli)
    target_link_libraries(drelvant_bench PRIVATE drelvant_cli)
  endif()
endif()
include(cmake/lv2.cmake)
# After every target it installs or strips (the LV2 bundle included).
include(${CMAKE_SOURCE_DIR}/cmake/packaging_native.cmake)
