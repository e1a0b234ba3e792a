# Fuzz targets (libFuzzer) and the ThreadSanitizer stress test; not part of the normal builds.
enable_testing()
if(DRELVANT_SANITIZER STREQUAL "fuzz")
  # The per-sample code compares loop counters and indices millions of times per input; tracing
  # those comparisons only floods libFuzzer's table of compared values and halves the rate of the
  # targets that process audio. Edge coverage of that code stays.
  file(GLOB DRELVANT_DSP_SOURCES CONFIGURE_DEPENDS dsp/*.cpp dsp/filters/*.cpp)
  set_source_files_properties(${DRELVANT_DSP_SOURCES} PROPERTIES COMPILE_OPTIONS -fno-sanitize-coverage=trace-cmp)
  file(GLOB DRELVANT_FUZZ_SOURCES CONFIGURE_DEPENDS tests/fuzz/*_fuzz.cpp)
  set(DRELVANT_FUZZ_SECONDS 60 CACHE STRING "Seconds each fuzz target runs in the test")
  foreach(source ${DRELVANT_FUZZ_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source} tests/fuzz/fuzz_support.cpp)
    target_link_libraries(${name} PRIVATE drelvant_core)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    if(name STREQUAL "lv2_state_fuzz")
      # The LV2 plug-in's code linked in whole, driven through its descriptor.
      find_package(PkgConfig REQUIRED)
      pkg_check_modules(LV2 REQUIRED IMPORTED_TARGET lv2)
      pkg_check_modules(SOXR REQUIRED IMPORTED_TARGET soxr)
      target_sources(${name} PRIVATE lv2/drelvant_lv2.cpp)
      target_link_libraries(${name} PRIVATE PkgConfig::LV2 PkgConfig::SOXR)
    endif()
    if(name STREQUAL "console_api_fuzz")
      # The console's request handling over the program's hosting of the engine.
      include(${CMAKE_SOURCE_DIR}/cmake/console.cmake)
      target_sources(${name} PRIVATE console/console_api.cpp console/engine_model_adapter.cpp cli/hosting.cpp
                     ${CONSOLE_EMBEDDED_CPP})
      target_link_libraries(${name} PRIVATE nlohmann_json::nlohmann_json)
    endif()
    string(REPLACE "_fuzz" "" corpus ${name})
    add_test(NAME fuzz.${name}
      COMMAND ${CMAKE_SOURCE_DIR}/tests/fuzz/run_fuzzer.sh $<TARGET_FILE:${name}>
              ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${corpus} ${DRELVANT_FUZZ_SECONDS})
    set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 900)
  endforeach()
elseif(DRELVANT_SANITIZER STREQUAL "thread")
  find_package(GTest REQUIRED)
  file(GLOB DRELVANT_STRESS_SOURCES CONFIGURE_DEPENDS tests/stress/*.cpp)
  add_executable(drelvant_stress ${DRELVANT_STRESS_SOURCES})
  target_link_libraries(drelvant_stress PRIVATE drelvant_core GTest::gtest GTest::gtest_main)
  add_test(NAME stress.threads COMMAND drelvant_stress)
  set_tests_properties(stress.threads PROPERTIES TIMEOUT 900 ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1")
endif()
