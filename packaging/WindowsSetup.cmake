# The Windows setup program, velumbra-setup-VERSION.exe in the build folder: target "setup", built with
# everything else, made by NSIS (packaging/velumbra.nsi) from the built velumbra.exe and velumbra-cli.exe.
# Included by the top CMakeLists.txt when building for Windows with the desktop program.
# scripts/windows-setup-check SETUP.exe installs and removes it under wine.
find_program(VELUMBRA_MAKENSIS makensis REQUIRED)  # Debian package nsis

set(_setup_script "${CMAKE_CURRENT_LIST_DIR}/velumbra.nsi")
set(_setup_icon "${CMAKE_CURRENT_LIST_DIR}/../res/velumbra.ico")
set(_setup "${CMAKE_BINARY_DIR}/velumbra-setup-${PROJECT_VERSION}.exe")
# Written under another name and renamed when complete: the setup is there whole or not at all.
set(_setup_partial "${_setup}.partial")

add_custom_command(
  OUTPUT "${_setup}"
  COMMAND "${CMAKE_COMMAND}" -E remove -f "${_setup_partial}"
  COMMAND "${VELUMBRA_MAKENSIS}" -WX -V2 -INPUTCHARSET UTF8
          "-DVERSION=${PROJECT_VERSION}"
          "-DDESKTOP_EXE=$<TARGET_FILE:velumbra>"
          "-DCLI_EXE=$<TARGET_FILE:velumbra-cli>"
          "-DICON=${_setup_icon}"
          "-DOUTFILE=${_setup_partial}"
          "${_setup_script}"
  COMMAND "${CMAKE_COMMAND}" -E rename "${_setup_partial}" "${_setup}"
  DEPENDS velumbra velumbra-cli "${_setup_script}" "${_setup_icon}"
  COMMENT "Windows setup program ${_setup}"
  VERBATIM)
add_custom_target(setup ALL DEPENDS "${_setup}")
