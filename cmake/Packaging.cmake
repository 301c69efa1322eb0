# The Debian packages, one per program: `make package` (cpack in a build
# folder) makes, for the build's architecture,
#   vardel_<version>_<arch>.deb        the dialog program, with Qt and the CJK font
#   vardel-flash_<version>_<arch>.deb  the command line alone: no Qt, no display
# Each package is the CPack component of the same name: an install() rule
# with COMPONENT vardel or COMPONENT vardel-flash puts a file in it. A package
# is made only when its program is a target of this build, so this file is
# included after every folder that defines one.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_PACKAGE_NAME vardel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Vardel developers <vardel@example.org>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries each program links come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# Debian's name for the architecture built for: the target's triplet in a
# cross build (arm-linux-gnueabihf is armhf), this machine's otherwise.
if(CMAKE_CROSSCOMPILING)
  set(vardel_dpkg_target -t${CMAKE_LIBRARY_ARCHITECTURE})
endif()
execute_process(COMMAND dpkg-architecture ${vardel_dpkg_target} -qDEB_HOST_ARCH
                OUTPUT_VARIABLE VARDEL_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE
                ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${VARDEL_DEB_ARCH})
# dpkg-shlibdeps looks for a cross build's libraries where multiarch puts
# that architecture's (/usr/lib/arm-linux-gnueabihf) when told the host.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackArchitecture.cmake)
file(CONFIGURE OUTPUT ${CPACK_PROJECT_CONFIG_FILE} CONTENT [[
set(ENV{DEB_HOST_ARCH} "@VARDEL_DEB_ARCH@")
set(ENV{DEB_HOST_MULTIARCH} "@CMAKE_LIBRARY_ARCHITECTURE@")
]] @ONLY)

set(vardel_summary "rewrites the MCU firmware of a car head unit over its serial line")
set(vardel_about
    "Vardel sends a firmware image to the microcontroller (MCU) inside a car head
unit over the unit's internal serial line, at 38,400 baud 8N1. The MCU asks
for 64-byte blocks by number and Vardel answers each with the block and two
check bytes.")

# What every package carries: its copyright and its changelog, compressed as
# Debian wants them (gzip -9n: no name, no time, the same bytes each build).
function(vardel_package_documents component)
  set(folder ${PROJECT_BINARY_DIR}/package-docs/${component})
  file(MAKE_DIRECTORY ${folder})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/package/copyright ${folder}/copyright @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/package/changelog ${folder}/changelog @ONLY)
  execute_process(COMMAND gzip -9nf ${folder}/changelog COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${folder}/copyright ${folder}/changelog.gz
          DESTINATION share/doc/${component} COMPONENT ${component})
endfunction()

set(CPACK_COMPONENTS_ALL)

# The dialog program (app/CMakeLists.txt installs it). The font is for the
# window's Chinese texts, which are boxes without a CJK font.
if(TARGET vardel)
  list(APPEND CPACK_COMPONENTS_ALL vardel)
  vardel_package_documents(vardel)
  set(CPACK_DEBIAN_VARDEL_PACKAGE_NAME vardel)
  set(CPACK_DEBIAN_VARDEL_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_VARDEL_PACKAGE_DEPENDS fonts-wqy-microhei)
  set(CPACK_COMPONENT_VARDEL_DESCRIPTION "${vardel_summary}
${vardel_about} One window shows the status, the step, the percentage and a
progress bar; its texts are in Chinese.
.
The firmware file, KD51A.BIN or MTK51A.BIN, goes into /usr/lib/vardel
beside the program. The serial device is fixed when the program is built.")
endif()

# The command line, for a bench that flashes units without a display. Its
# program is installed here; its other files (manual, completion) come with
# their own install() rules in the component vardel-flash.
if(TARGET vardel-flash)
  list(APPEND CPACK_COMPONENTS_ALL vardel-flash)
  vardel_package_documents(vardel-flash)
  install(TARGETS vardel-flash RUNTIME DESTINATION bin COMPONENT vardel-flash)
  # The USB serial adapters for the user at the seat, and FTDI's latency timer.
  install(FILES ${PROJECT_SOURCE_DIR}/flash/udev/70-vardel.rules
          DESTINATION lib/udev/rules.d COMPONENT vardel-flash)
  # The flashing station as a service, not enabled, and its settings, which
  # the administrator edits (a conffile, kept across upgrades).
  install(FILES ${PROJECT_SOURCE_DIR}/flash/station/vardel-station.service
          DESTINATION lib/systemd/system COMPONENT vardel-flash)
  install(FILES ${PROJECT_SOURCE_DIR}/flash/station/vardel-station.default
          DESTINATION /etc/default RENAME vardel-station COMPONENT vardel-flash)
  set(CPACK_DEBIAN_VARDEL-FLASH_PACKAGE_CONTROL_EXTRA
      ${PROJECT_SOURCE_DIR}/flash/station/conffiles)
  set(CPACK_DEBIAN_VARDEL-FLASH_PACKAGE_NAME vardel-flash)
  set(CPACK_DEBIAN_VARDEL-FLASH_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_VARDEL-FLASH_PACKAGE_SECTION electronics)
  set(CPACK_COMPONENT_VARDEL-FLASH_DESCRIPTION "${vardel_summary} (command line)
${vardel_about} This package has the command-line program alone:
no Qt and no display are needed, and one program flashes several units at
once, one serial port each, or runs as a flashing station (the service
vardel-station) that flashes each unit whose adapter is plugged in.")
endif()

include(CPack)
