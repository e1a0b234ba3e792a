# Installation of the Linux build and its Debian package:
#   cmake --install build/native [--prefix DIR]       drelvant, man page, completion, documentation
#   cmake --build --preset native --target package   build/native/drelvant_<version>_<arch>.deb
#   cmake --build --preset native --target checksums build/release/: the package, the Windows
#                                                    installer (when built) and their SHA256SUMS
include(GNUInstallDirs)
include(${CMAKE_SOURCE_DIR}/cmake/debug_info.cmake)

find_program(GZIP_PROGRAM gzip REQUIRED)
set(DRELVANT_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/drelvant)
set(DRELVANT_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)

# Manual page and documentation, compressed as Debian keeps them (gzip -9n: no name, no time, so
# the same sources give the same bytes).
set(DRELVANT_COMPRESSED_FILES)
function(drelvant_compress source output)
  add_custom_command(
    OUTPUT ${DRELVANT_PACKAGING_OUT}/${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${DRELVANT_PACKAGING_OUT}
    COMMAND sh -c "${GZIP_PROGRAM} -9n -c '${source}' > '${DRELVANT_PACKAGING_OUT}/${output}'"
    DEPENDS ${source}
    COMMENT "Compressing ${output}"
    VERBATIM)
  set(DRELVANT_COMPRESSED_FILES ${DRELVANT_COMPRESSED_FILES} ${DRELVANT_PACKAGING_OUT}/${output} PARENT_SCOPE)
endfunction()
drelvant_compress(${CMAKE_SOURCE_DIR}/packaging/drelvant.1 drelvant.1.gz)
# changelog.gz is the package's own (Debian format, one entry per packaged version);
# CHANGELOG.md is the project's.
drelvant_compress(${CMAKE_SOURCE_DIR}/packaging/debian/changelog changelog.gz)
drelvant_compress(${CMAKE_SOURCE_DIR}/CHANGELOG.md CHANGELOG.md.gz)
drelvant_compress(${CMAKE_SOURCE_DIR}/README.md README.md.gz)
drelvant_compress(${CMAKE_SOURCE_DIR}/resources/manual.txt manual.txt.gz)
add_custom_target(drelvant_packaging_files ALL DEPENDS ${DRELVANT_COMPRESSED_FILES})

if(TARGET drelvant)
  drelvant_split_debug_info(drelvant)
  # Read-only relocations, as Debian builds; symbols stay lazily bound, which the test of "-q
  # measures nothing" relies on (it watches the loudness library's symbols being bound).
  target_link_options(drelvant PRIVATE -Wl,-z,relro)
  install(TARGETS drelvant RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${DRELVANT_PACKAGING_OUT}/drelvant.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/completion/drelvant.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME drelvant)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/completion/_drelvant
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES
  ${DRELVANT_PACKAGING_OUT}/changelog.gz
  ${DRELVANT_PACKAGING_OUT}/CHANGELOG.md.gz
  ${DRELVANT_PACKAGING_OUT}/README.md.gz
  ${DRELVANT_PACKAGING_OUT}/manual.txt.gz
  ${CMAKE_SOURCE_DIR}/packaging/debian/copyright
  DESTINATION ${DRELVANT_DOC_DIR})

# The LV2 bundle, once the build makes one: its own install rules put it under lib/lv2 (where LV2
# hosts look, not the multiarch library folder); this rule, declared after them, strips the
# installed shared objects and keeps their debug information in the build folder.
if(TARGET drelvant_lv2)
  target_link_options(drelvant_lv2 PRIVATE -Wl,-z,relro,-z,now)  # read-only GOT, as Debian builds
  install(CODE "
    file(GLOB_RECURSE lv2_objects \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/lv2/drelvant.lv2/*.so\")
    foreach(object \${lv2_objects})
      get_filename_component(name \"\${object}\" NAME)
      execute_process(COMMAND ${CMAKE_OBJCOPY} --only-keep-debug \"\${object}\" \"${CMAKE_BINARY_DIR}/lv2-\${name}.debug\"
        COMMAND_ERROR_IS_FATAL ANY)
      execute_process(COMMAND ${CMAKE_OBJCOPY} --strip-unneeded --remove-section=.comment
        \"--add-gnu-debuglink=${CMAKE_BINARY_DIR}/lv2-\${name}.debug\" \"\${object}\" COMMAND_ERROR_IS_FATAL ANY)
    endforeach()")
endif()

# ---- Debian package (CPack) ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME drelvant)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Drelvant developers")
set(CPACK_PACKAGE_CONTACT "Drelvant developers <dev@drelvant.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "broadcast-style audio dynamics processor")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES OFF)  # drelvant is stripped when linked, the LV2 objects when installed
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
find_program(DPKG_PROGRAM dpkg)
if(DPKG_PROGRAM)
  execute_process(COMMAND ${DPKG_PROGRAM} --print-architecture OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
    OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.drelvant.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The summary line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "drelvant gives recorded music the loud, clear, consistent sound of an on-air
processor: highpass, stereo image, two-band AGC, equalizers, a ten-band
processor with compressor, expander, limiter and saturator per band, final
limiter and clipper, lowpass and dither, with seven factory presets.
.
It runs the engine of the Drelvant Winamp DSP plug-in on files (WAV, FLAC,
Ogg Vorbis, AIFF, MP3 and more) and on raw streams in pipelines, and measures
loudness, true peak and frequency response.")
include(CPack)

# ---- checksums of the release files ----
# Makes the Debian package afresh (what `package` does, without building the tests first), then
# hashes it and the Windows installer if that is built.
set(DRELVANT_DEB ${CMAKE_BINARY_DIR}/drelvant_${PROJECT_VERSION}_${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}.deb)
set(DRELVANT_SETUP ${CMAKE_SOURCE_DIR}/build/windows/drelvant-${PROJECT_VERSION}-setup.exe)
add_custom_target(checksums
  COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${CMAKE_SOURCE_DIR}/build/release/SHA256SUMS "-DFILES=${DRELVANT_DEB};${DRELVANT_SETUP}"
          -P ${CMAKE_SOURCE_DIR}/cmake/checksums.cmake
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Writing SHA256SUMS"
  VERBATIM)
if(TARGET drelvant)
  add_dependencies(checksums drelvant drelvant_packaging_files)
endif()
if(TARGET drelvant_lv2)
  add_dependencies(checksums drelvant_lv2)
endif()

# ---- tests: manual page, completion, install layout, the package itself ----
if(DRELVANT_TESTS AND TARGET drelvant)
  foreach(name manpage completion)
    add_test(NAME package.${name} COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/${name}_test.sh
      $<TARGET_FILE:drelvant> ${CMAKE_SOURCE_DIR})
  endforeach()
  add_test(NAME package.install COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/install_test.sh ${CMAKE_BINARY_DIR})
  # Installs into the running system (as root, then purges): never beside another test doing so.
  add_test(NAME package.deb COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/deb_test.sh ${CMAKE_BINARY_DIR}
    ${PROJECT_VERSION})
  set_tests_properties(package.deb PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77 RESOURCE_LOCK system_packages)
endif()
