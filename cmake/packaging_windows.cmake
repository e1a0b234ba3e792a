# The shipped DLL and the Windows installer:
#   build/windows/dsp_drelvant.dll            stripped; its debug information in dsp_drelvant.dll.debug
#   build/windows/drelvant-<version>-setup.exe  the NSIS installer (Debian's makensis)
include(${CMAKE_SOURCE_DIR}/cmake/debug_info.cmake)
drelvant_split_debug_info(dsp_drelvant)

set(DRELVANT_SETUP_EXE ${CMAKE_BINARY_DIR}/drelvant-${PROJECT_VERSION}-setup.exe)
set(DRELVANT_INSTALLER_FILES ${CMAKE_BINARY_DIR}/installer)
# Windows line ends for the two texts the user opens in Notepad.
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/readme.txt.in ${DRELVANT_INSTALLER_FILES}/readme.txt
  @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${DRELVANT_INSTALLER_FILES}/license.txt COPYONLY)
file(READ ${DRELVANT_INSTALLER_FILES}/license.txt license_text)
string(REPLACE "\n" "\r\n" license_text "${license_text}")
file(WRITE ${DRELVANT_INSTALLER_FILES}/license.txt "${license_text}")

find_program(MAKENSIS_PROGRAM makensis)
if(MAKENSIS_PROGRAM)
  add_custom_command(
    OUTPUT ${DRELVANT_SETUP_EXE}
    COMMAND ${MAKENSIS_PROGRAM} -V2 -NOCD
            -DVERSION=${PROJECT_VERSION}
            -DDLL=$<TARGET_FILE:dsp_drelvant>
            -DREADME=${DRELVANT_INSTALLER_FILES}/readme.txt
            -DLICENSE=${DRELVANT_INSTALLER_FILES}/license.txt
            -DOUTFILE=${DRELVANT_SETUP_EXE}
            ${CMAKE_SOURCE_DIR}/packaging/windows/drelvant.nsi
    DEPENDS dsp_drelvant ${CMAKE_SOURCE_DIR}/packaging/windows/drelvant.nsi
            ${DRELVANT_INSTALLER_FILES}/readme.txt ${DRELVANT_INSTALLER_FILES}/license.txt
    COMMENT "Building the installer drelvant-${PROJECT_VERSION}-setup.exe"
    VERBATIM)
  add_custom_target(installer ALL DEPENDS ${DRELVANT_SETUP_EXE})
else()
  message(WARNING "makensis not found (Debian package nsis): no installer is built")
endif()

if(DRELVANT_TESTS AND MAKENSIS_PROGRAM)
  add_executable(fake_winamp tools/fake_winamp.cpp)
  target_link_libraries(fake_winamp PRIVATE drelvant_flags)
  add_executable(dialog_click tools/dialog_click.cpp)
  target_link_libraries(dialog_click PRIVATE drelvant_flags)
  set_target_properties(fake_winamp dialog_click PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  add_test(NAME wine.installer COMMAND bash ${CMAKE_SOURCE_DIR}/tests/windows/installer_test.sh
    ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
  set_tests_properties(wine.installer PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600)
endif()
