# Windows (i686 MinGW) targets: the plug-in DLL, the test host and the Windows tests under Wine.
enable_language(RC)

file(GLOB DRELVANT_UI_SOURCES CONFIGURE_DEPENDS ui/*.cpp)
file(GLOB DRELVANT_RC_SOURCES CONFIGURE_DEPENDS resources/*.rc)
add_library(dsp_drelvant SHARED ${DRELVANT_UI_SOURCES} ${DRELVANT_RC_SOURCES} host/dsp_drelvant.def)
target_link_libraries(dsp_drelvant PRIVATE drelvant_core comctl32 gdi32 user32 shell32 kernel32)
set_target_properties(dsp_drelvant PROPERTIES PREFIX "" OUTPUT_NAME dsp_drelvant
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR} LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_options(dsp_drelvant PRIVATE -Wl,--kill-at)
set_source_files_properties(${DRELVANT_RC_SOURCES} PROPERTIES
  OBJECT_DEPENDS "${DRELVANT_PRESET_TEXTS};${DRELVANT_MANUAL}")
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}/resources")

add_executable(winamp_host tools/winamp_host.cpp)
target_link_libraries(winamp_host PRIVATE drelvant_flags)
target_include_directories(winamp_host PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(winamp_host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

add_executable(soak_host tools/soak_host.cpp)
target_link_libraries(soak_host PRIVATE drelvant_flags psapi)
target_include_directories(soak_host PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(soak_host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(DRELVANT_SOAK_SECONDS 600 CACHE STRING "Seconds of the soak test in the Windows test run")

if(DRELVANT_TESTS)
  enable_testing()
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  file(GLOB DRELVANT_WINDOWS_TESTS CONFIGURE_DEPENDS tests/windows/*.cpp)
  if(DRELVANT_WINDOWS_TESTS)
    # The tests drive the module's windows from the engine's own description of them.
    add_executable(drelvant_windows_tests ${DRELVANT_WINDOWS_TESTS} ${CMAKE_SOURCE_DIR}/params/engine_model.cpp)
    target_link_libraries(drelvant_windows_tests PRIVATE drelvant_flags gtest gtest_main)
    target_include_directories(drelvant_windows_tests PRIVATE ${CMAKE_SOURCE_DIR})
    target_compile_definitions(drelvant_windows_tests PRIVATE DRELVANT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    set_target_properties(drelvant_windows_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    add_dependencies(drelvant_windows_tests dsp_drelvant winamp_host)
    add_test(NAME wine.prefix COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-run.sh --init)
    set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
    add_test(NAME wine.windows_tests COMMAND drelvant_windows_tests
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(wine.windows_tests PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 1800)
    add_test(NAME wine.compare_native COMMAND bash ${CMAKE_SOURCE_DIR}/tests/windows/compare_native.sh
      ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}/build/native ${CMAKE_SOURCE_DIR})
    set_tests_properties(wine.compare_native PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 900 SKIP_RETURN_CODE 77)
    add_test(NAME wine.all_formats COMMAND bash ${CMAKE_SOURCE_DIR}/tests/windows/all_formats.sh
      ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}/build/native ${CMAKE_SOURCE_DIR})
    set_tests_properties(wine.all_formats PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 1800 SKIP_RETURN_CODE 77)
    add_test(NAME wine.soak COMMAND soak_host dsp_drelvant.dll ${DRELVANT_SOAK_SECONDS}
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(wine.soak PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 3600)
    add_test(NAME wine.shutdown COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-run.sh --shutdown)
    set_tests_properties(wine.shutdown PROPERTIES FIXTURES_CLEANUP wine)
  endif()
endif()
include(${CMAKE_SOURCE_DIR}/cmake/packaging_windows.cmake)
