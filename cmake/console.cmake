# The console (console/): an HTTP server with its page, part of the command-line program. The
# fuzz build takes its request handling alone (console_api.cpp and the engine model adapter).
find_package(nlohmann_json 3 REQUIRED)
set(CONSOLE_EMBEDDED_CPP ${CMAKE_BINARY_DIR}/generated/console_page.cpp)
add_custom_command(
  OUTPUT ${CONSOLE_EMBEDDED_CPP}
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUTPUT=${CONSOLE_EMBEDDED_CPP}
          -P ${CMAKE_SOURCE_DIR}/cmake/embed_console.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/console/page.html ${CMAKE_SOURCE_DIR}/resources/dialogs.rc
          ${CMAKE_SOURCE_DIR}/cmake/embed_console.cmake
  COMMENT "Embedding the console page")
if(TARGET drelvant_cli)
  pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  file(GLOB DRELVANT_CONSOLE_SOURCES CONFIGURE_DEPENDS console/*.cpp)
  target_sources(drelvant_cli PRIVATE ${DRELVANT_CONSOLE_SOURCES} ${CONSOLE_EMBEDDED_CPP})
  pkg_check_modules(JACK REQUIRED IMPORTED_TARGET jack)
  # `drelvant live` runs other rates through the LV2 plug-in's resampler pair (until the engine
  # library carries it as host/rate_bridge.cpp).
  if(NOT EXISTS ${CMAKE_SOURCE_DIR}/host/rate_bridge.cpp)
    target_sources(drelvant_cli PRIVATE lv2/rate_bridge.cpp)
  endif()
  target_link_libraries(drelvant_cli PUBLIC PkgConfig::HTTPLIB PkgConfig::JACK nlohmann_json::nlohmann_json)
endif()
