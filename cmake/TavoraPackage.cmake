# The files installed beside the program, its desktop entry and its icon (the
# manual page, the AppStream metadata, the changelog and the copyright
# notice), and the Debian package made of them all: `make deb`, or `cpack -G
# DEB` in the build tree.

set(TAVORA_PACKAGE_MAINTAINER "Tavora Live team <team@tavora.live>")
set(_pkg_src ${CMAKE_SOURCE_DIR}/resources)
set(_pkg_out ${CMAKE_BINARY_DIR}/package-files)

# Debian's changelog wants an RFC 5322 date.
execute_process(COMMAND date -u -R -d "${TAVORA_RELEASE_DATE} 12:00" OUTPUT_VARIABLE TAVORA_RELEASE_DATE_RFC
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)

configure_file(${_pkg_src}/tavora-wizard.1.in ${_pkg_out}/tavora-wizard.1 @ONLY)
configure_file(${_pkg_src}/live.tavora.wizard.metainfo.xml ${_pkg_out}/live.tavora.wizard.metainfo.xml @ONLY)
file(CONFIGURE OUTPUT ${_pkg_out}/changelog @ONLY CONTENT
"tavora-wizard (@PROJECT_VERSION@) unstable; urgency=medium

  * Version @PROJECT_VERSION@ of the Tavora Live System Test Wizard: the connection,
    display, playback and microphone tests in one window, and the readiness
    report without a window (tavora-wizard --check).

 -- @TAVORA_PACKAGE_MAINTAINER@  @TAVORA_RELEASE_DATE_RFC@
")
string(SUBSTRING ${TAVORA_RELEASE_DATE} 0 4 _pkg_year)
file(CONFIGURE OUTPUT ${_pkg_out}/copyright @ONLY CONTENT
"tavora-wizard: the Tavora Live System Test Wizard
Upstream: the Tavora Live team <${TAVORA_VENDOR_URL}>

Copyright: ${_pkg_year} the Tavora Live team

The Tavora Live team wrote the program, its forms, its built-in spoken sample
and its icon. No licence has been stated for them yet; until one is, all
rights are reserved by the Tavora Live team.

The program links to Qt 6, libpulse, libgsm and libxcb, installed from their
own Debian packages under their own licences (see their copyright files in
/usr/share/doc).
")

# Debian installs manual pages and changelogs compressed, without a time stamp
# in the gzip header so that the same sources give the same package.
set(_pkg_gz "")
foreach(_file tavora-wizard.1 changelog)
  add_custom_command(OUTPUT ${_pkg_out}/${_file}.gz COMMAND gzip -9nkf ${_pkg_out}/${_file}
                     DEPENDS ${_pkg_out}/${_file} VERBATIM)
  list(APPEND _pkg_gz ${_pkg_out}/${_file}.gz)
endforeach()
add_custom_target(tavora-package-files ALL DEPENDS ${_pkg_gz})

install(FILES ${_pkg_out}/tavora-wizard.1.gz DESTINATION share/man/man1)
install(FILES ${_pkg_out}/live.tavora.wizard.metainfo.xml DESTINATION share/metainfo)
install(FILES ${_pkg_out}/changelog.gz ${_pkg_out}/copyright DESTINATION share/doc/tavora-wizard)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavora-wizard)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavora Live")
set(CPACK_PACKAGE_CONTACT "${TAVORA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TAVORA_VENDOR_URL})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check a computer before a Tavora Live class")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A participant of the Tavora Live online classroom runs the wizard before class
to learn whether the computer is ready: the connection to the classroom
service (directly or through a SOCKS proxy), the screen, the speakers and the
microphone. The device choices and the proxy configuration are kept where the
classroom client reads them.

Run with --check, the wizard tests the computer without a window and prints a
report, as text or JSON, for help desks and login scripts.")
# The libraries the program links come from dpkg-shlibdeps. The rest is loaded
# at run time: libpulse and libproxy (opened when first needed, so that they
# are no part of the start-up), Qt's X11 platform plugin, without which no
# window opens, and a face of the width the forms are laid out for (DejaVu Sans
# Condensed, or Liberation Sans, which the wizard prefers where it is installed).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libpulse0, libproxy1v5, qt6-qpa-plugins, fonts-dejavu-extra | fonts-liberation2 | fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
