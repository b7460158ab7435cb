# What a user downloads. The Windows build installs and zips Tavvel.exe with
# its readme page, the samples, a short README and the licence; the native
# build installs tavvel-cli with its man page and makes a Debian package.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME Tavvel)
set(CPACK_PACKAGE_VENDOR "The Tavvel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  if(NOT TARGET Tavvel)
    return()
  endif()
  # The readme command opens the page beside the executable, so the build
  # tree gets it there too, not only the zip.
  get_target_property(tavvel_exe_dir Tavvel BINARY_DIR)
  add_custom_command(OUTPUT ${tavvel_exe_dir}/Tavvel.html
                     COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/docs/Tavvel.html ${tavvel_exe_dir}/Tavvel.html
                     DEPENDS ${CMAKE_SOURCE_DIR}/docs/Tavvel.html)
  add_custom_target(readme_page ALL DEPENDS ${tavvel_exe_dir}/Tavvel.html)
  add_dependencies(Tavvel readme_page)

  install(TARGETS Tavvel RUNTIME DESTINATION .)
  install(FILES docs/Tavvel.html DESTINATION .)
  install(FILES docs/zip-readme.txt DESTINATION . RENAME README.txt)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
  install(DIRECTORY samples/ DESTINATION samples)

  set(CPACK_GENERATOR ZIP)
  set(tavvel_package Tavvel-${PROJECT_VERSION}-win64)
  set(tavvel_package_file ${tavvel_package}.zip)
  set(CPACK_PACKAGE_FILE_NAME ${tavvel_package})
else()
  if(NOT TARGET tavvel-cli)
    return()
  endif()
  install(TARGETS tavvel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # Man pages ship compressed; -n keeps the archive free of a time stamp.
  find_program(GZIP_PROGRAM gzip REQUIRED)
  set(man_page ${CMAKE_BINARY_DIR}/docs/tavvel-cli.1.gz)
  add_custom_command(OUTPUT ${man_page}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/docs
                     COMMAND ${GZIP_PROGRAM} -9 -n -c ${CMAKE_SOURCE_DIR}/docs/tavvel-cli.1 > ${man_page}
                     DEPENDS ${CMAKE_SOURCE_DIR}/docs/tavvel-cli.1)
  add_custom_target(man_page ALL DEPENDS ${man_page})
  install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  # The copyright file in the machine-readable Debian form, with the licence text.
  file(READ ${CMAKE_SOURCE_DIR}/LICENSE license_text)
  string(REGEX REPLACE "^MIT License\n\n" "" license_text "${license_text}")
  string(REGEX REPLACE "\n\n" "\n.\n" license_text "${license_text}")
  string(REGEX REPLACE "\n([^\n])" "\n \\1" license_text "${license_text}")
  string(REGEX REPLACE "\n$" "" license_text "${license_text}")
  configure_file(${CMAKE_SOURCE_DIR}/docs/copyright.in ${CMAKE_BINARY_DIR}/docs/copyright @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/docs/copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tavvel-cli)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_NAME tavvel-cli)
  set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
  find_program(DPKG_PROGRAM dpkg)
  if(DPKG_PROGRAM)
    execute_process(COMMAND ${DPKG_PROGRAM} --print-architecture OUTPUT_VARIABLE deb_arch
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
  else()
    set(deb_arch amd64)
  endif()
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${deb_arch})
  set(tavvel_package_file tavvel-cli_${PROJECT_VERSION}_${deb_arch}.deb)
  set(CPACK_DEBIAN_FILE_NAME ${tavvel_package_file})
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Tavvel developers <dev@tavvel.invalid>")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "joins text and binary files, converting Japanese codes")
  # The summary is the first line of the description; this is the text under it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "tavvel-cli joins files into one, in the order given. In binary mode it
copies bytes; in text mode every file has its line ends normalised, JIS or
EUC-JP text brought to Shift_JIS, strings replaced from a table (plain pairs
or s/// and tr/// commands of a Shift_JIS-aware regex engine), a separator
inserted between files, and the output written as Shift_JIS, JIS or EUC-JP
with CR LF, CR or LF line ends. It is the command-line form of Tavvel.")
endif()

include(CPack)

# The sanitizer and fuzzing builds check code, not what ships.
if((BUILD_TESTING OR NOT DEFINED BUILD_TESTING) AND NOT TAVVEL_SANITIZE AND NOT TAVVEL_FUZZ)
  add_subdirectory(tests/package)
endif()
