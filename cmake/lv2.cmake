# The LV2 plug-in: build/native/drelvant.lv2/ holds the shared object, manifest.ttl, drelvant.ttl
# (stereo and mono plug-ins) and presets.ttl (F1 ... F7); `cmake --install` puts it in lib/lv2/.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LV2 REQUIRED IMPORTED_TARGET lv2)
pkg_check_modules(SOXR REQUIRED IMPORTED_TARGET soxr)

# The engine library goes into a shared object.
set_target_properties(drelvant_core PROPERTIES POSITION_INDEPENDENT_CODE ON)

set(DRELVANT_LV2_BUNDLE ${CMAKE_BINARY_DIR}/drelvant.lv2)
# build/native/lv2/ holds only a link to the bundle: LV2_PATH=build/native/lv2 shows hosts the
# plug-in without making them read every other file of the build folder.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/lv2)
file(CREATE_LINK ../drelvant.lv2 ${CMAKE_BINARY_DIR}/lv2/drelvant.lv2 SYMBOLIC)
add_library(drelvant_lv2 MODULE lv2/drelvant_lv2.cpp)
target_link_libraries(drelvant_lv2 PRIVATE drelvant_core PkgConfig::LV2 PkgConfig::SOXR)
set_target_properties(drelvant_lv2 PROPERTIES
  OUTPUT_NAME drelvant PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${DRELVANT_LV2_BUNDLE}
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
# Only lv2_descriptor is exported; the engine's symbols stay inside, so two plug-ins built on it
# (or a host that links another copy) never meet.
target_link_options(drelvant_lv2 PRIVATE -Wl,--exclude-libs,ALL -Wl,-z,defs)

add_executable(drelvant_lv2_turtle lv2/turtle_writer.cpp)
target_include_directories(drelvant_lv2_turtle PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(drelvant_lv2_turtle PRIVATE drelvant_core)
# The bundle's lv2:minorVersion and lv2:microVersion are the project's minor and patch numbers.
target_compile_definitions(drelvant_lv2_turtle PRIVATE DRELVANT_VERSION_MINOR=${PROJECT_VERSION_MINOR}
                           DRELVANT_VERSION_PATCH=$<IF:$<BOOL:${PROJECT_VERSION_PATCH}>,${PROJECT_VERSION_PATCH},0>)
set(DRELVANT_LV2_TURTLE ${DRELVANT_LV2_BUNDLE}/manifest.ttl ${DRELVANT_LV2_BUNDLE}/drelvant.ttl
    ${DRELVANT_LV2_BUNDLE}/presets.ttl)
add_custom_command(
  OUTPUT ${DRELVANT_LV2_TURTLE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${DRELVANT_LV2_BUNDLE}
  COMMAND drelvant_lv2_turtle ${DRELVANT_LV2_BUNDLE} ${CMAKE_SOURCE_DIR}/resources/presets drelvant.so
  DEPENDS drelvant_lv2_turtle ${DRELVANT_PRESET_TEXTS}
  COMMENT "Writing the LV2 bundle's Turtle files")
add_custom_target(drelvant_lv2_turtle_files DEPENDS ${DRELVANT_LV2_TURTLE})
add_dependencies(drelvant_lv2 drelvant_lv2_turtle_files)

install(TARGETS drelvant_lv2 LIBRARY DESTINATION lib/lv2/drelvant.lv2)
install(FILES ${DRELVANT_LV2_TURTLE} DESTINATION lib/lv2/drelvant.lv2)

if(DRELVANT_TESTS)
  pkg_check_modules(LILV REQUIRED IMPORTED_TARGET lilv-0)
  file(GLOB DRELVANT_LV2_TEST_SOURCES CONFIGURE_DEPENDS tests/lv2/*.cpp)
  add_executable(drelvant_lv2_tests ${DRELVANT_LV2_TEST_SOURCES})
  target_link_libraries(drelvant_lv2_tests PRIVATE PkgConfig::LILV PkgConfig::LV2 GTest::gtest GTest::gtest_main
                        drelvant_core)
  target_include_directories(drelvant_lv2_tests PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(drelvant_lv2_tests PRIVATE DRELVANT_LV2_BUILD_DIR="${CMAKE_BINARY_DIR}"
                             DRELVANT_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                             DRELVANT_LV2_TURTLE_WRITER="$<TARGET_FILE:drelvant_lv2_turtle>")
  add_dependencies(drelvant_lv2_tests drelvant_lv2)
  gtest_discover_tests(drelvant_lv2_tests TEST_PREFIX lv2. DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600
                       ENVIRONMENT LV2_PATH=${CMAKE_BINARY_DIR}/lv2:/usr/lib/lv2)
  # The real-time budget of run() (a benchmark; the lilv host of the tests drives it).
  add_executable(drelvant_lv2_bench bench/lv2/run_time_bench.cpp tests/lv2/lv2_host.cpp tests/lv2/allocation_counter.cpp)
  target_link_libraries(drelvant_lv2_bench PRIVATE PkgConfig::LILV PkgConfig::LV2 drelvant_flags)
  target_include_directories(drelvant_lv2_bench PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(drelvant_lv2_bench PRIVATE DRELVANT_LV2_BUILD_DIR="${CMAKE_BINARY_DIR}/lv2")
  add_dependencies(drelvant_lv2_bench drelvant_lv2)
  file(GLOB DRELVANT_LV2_TEST_SCRIPTS CONFIGURE_DEPENDS tests/lv2/*.sh)
  foreach(script ${DRELVANT_LV2_TEST_SCRIPTS})
    get_filename_component(name ${script} NAME_WE)
    add_test(NAME lv2.${name} COMMAND bash ${script} ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
    set_tests_properties(lv2.${name} PROPERTIES ENVIRONMENT LV2_PATH=${CMAKE_BINARY_DIR}/lv2:/usr/lib/lv2)
    set_tests_properties(lv2.${name} PROPERTIES TIMEOUT 300)
  endforeach()
  # A real-time client: nothing else of the test run competes with it for the two cores.
  set_tests_properties(lv2.jalv_jack PROPERTIES RUN_SERIAL TRUE)
endif()
