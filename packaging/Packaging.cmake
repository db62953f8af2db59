# What "cmake --build --preset <name> --target package" puts together: a
# Debian package on Linux, a zip on Windows. The version is the project's.
set(CPACK_PACKAGE_NAME vernwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vernwick")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "one virtual tuner for TVTest over EpgDataCap_Bon's remote control")
set(CPACK_PACKAGE_CONTACT "Vernwick maintainers <maintainers@vernwick.invalid>"
    CACHE STRING "Maintainer named in the packages")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # Everything side by side in the zip's top folder, as a user unpacks it next
  # to their other TV tools.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME Vernwick-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  install(TARGETS vernwick-cli RUNTIME DESTINATION .)
  if(TARGET Vernwick)
    install(TARGETS Vernwick RUNTIME DESTINATION .)
  endif()

  # The texts beside them, as Notepad opens them: CR LF, and code page 932
  # where they hold Japanese. Kept as UTF-8 in packaging/windows and turned
  # into these bytes at build time.
  set(win ${CMAKE_CURRENT_LIST_DIR}/windows)
  set(texts)
  # windows_text(NAME ENCODING SOURCE [APPENDIX]): SOURCE, then APPENDIX, as NAME.
  function(windows_text name encoding source)
    set(out ${CMAKE_BINARY_DIR}/windows-texts/${name})
    set(append)
    if(ARGN)
      set(append -DAPPEND=${ARGN})
    endif()
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -DSOURCE=${source} ${append} -DTARGET=${out} -DENCODING=${encoding}
              -DVERSION=${PROJECT_VERSION} -P ${win}/windows_text.cmake
      DEPENDS ${source} ${ARGN} ${win}/windows_text.cmake
      COMMENT "Windows text ${name}")
    set(texts ${texts} ${out} PARENT_SCOPE)
  endfunction()
  windows_text(README-ja.txt CP932 ${win}/README-ja.txt)
  windows_text(README-en.txt ASCII ${win}/README-en.txt)
  windows_text(Vernwick.ini CP932 ${win}/Vernwick.ini)
  # The runtime that is linked into the programs brings notices of its own.
  windows_text(LICENSE.txt ASCII ${CMAKE_SOURCE_DIR}/LICENSE ${win}/runtime-notices.txt)
  add_custom_target(vernwick_windows_texts ALL DEPENDS ${texts})
  install(FILES ${texts} DESTINATION .)
  set(VERNWICK_SHIPPED_INI ${CMAKE_BINARY_DIR}/windows-texts/Vernwick.ini)
else()
  set(deb ${CMAKE_CURRENT_LIST_DIR}/debian)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION video)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The system user comes from the sysusers.d file.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "systemd | systemd-standalone-sysusers | systemd-sysusers")
  # The summary goes first by itself; an empty line parts paragraphs.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Vernwick sits between the TVTest viewer's network remote control
and EpgDataCap_Bon's remote-control port. Its patch server shows every viewer
one virtual tuner whose channel list is the user's own pick of services from
all of EpgDataCap_Bon's BonDrivers, spaces and channels, and switches
EpgDataCap_Bon through BonDriver, space, channel and service when a viewer
selects one.

This package holds vernwick-cli (serve, scan, make-channels, check-channels)
and the systemd service vernwick.service, which runs the patch server with
/etc/vernwick/Vernwick.ini and the channel files in /var/lib/vernwick.")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${deb}/conffiles ${deb}/postinst ${deb}/prerm ${deb}/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

  if(NOT VERNWICK_SYSTEM_PATHS)
    # Its program would look for its files beside itself, in /usr/bin.
    set(CPACK_PRE_BUILD_SCRIPTS ${deb}/refuse-package.cmake)
  endif()

  install(TARGETS vernwick-cli RUNTIME DESTINATION bin)
  install(FILES ${deb}/vernwick.service DESTINATION lib/systemd/system)
  install(FILES ${deb}/vernwick.sysusers DESTINATION lib/sysusers.d RENAME vernwick.conf)
  install(FILES ${deb}/Vernwick.ini DESTINATION /etc/vernwick)
  set(VERNWICK_SHIPPED_INI ${deb}/Vernwick.ini)
  install(FILES ${deb}/auto-launch.conf DESTINATION share/doc/vernwick/examples)
  # /var/lib/vernwick is made by postinst: a shipped folder that holds the
  # user's channel files would not be removed, with a warning each time.
  # The licence in Debian's machine-readable form, from the one LICENSE text.
  file(READ ${CMAKE_SOURCE_DIR}/LICENSE licence)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${licence}")
  set(holder "${CMAKE_MATCH_1}")
  string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]*\n" "" terms "${licence}")
  string(STRIP "${terms}" terms)
  string(REPLACE "\n\n" "\n.\n" terms "${terms}")
  string(REPLACE "\n" "\n " terms "${terms}")
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/doc/copyright @ONLY CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Vernwick

Files: *
Copyright: ${holder}
License: Expat
 ${terms}
")
  install(FILES ${CMAKE_BINARY_DIR}/doc/copyright DESTINATION share/doc/vernwick)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/changelog.gz
    COMMAND gzip -9n -c ${deb}/changelog > ${CMAKE_BINARY_DIR}/doc/changelog.gz
    DEPENDS ${deb}/changelog)
  # Debian keeps manual pages compressed.
  configure_file(${deb}/vernwick-cli.1 ${CMAKE_BINARY_DIR}/man/vernwick-cli.1 @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/vernwick-cli.1.gz
    COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/man/vernwick-cli.1 > ${CMAKE_BINARY_DIR}/man/vernwick-cli.1.gz
    DEPENDS ${CMAKE_BINARY_DIR}/man/vernwick-cli.1)
  add_custom_target(vernwick_man ALL
    DEPENDS ${CMAKE_BINARY_DIR}/man/vernwick-cli.1.gz ${CMAKE_BINARY_DIR}/doc/changelog.gz)
  install(FILES ${CMAKE_BINARY_DIR}/doc/changelog.gz DESTINATION share/doc/vernwick)
  install(FILES ${CMAKE_BINARY_DIR}/man/vernwick-cli.1.gz DESTINATION share/man/man1)
endif()

include(CPack)
