# What `make package` puts into kestrine_<version>_<arch>.deb besides the
# programs: manual pages, completion, the desktop entry and Debian's own
# documentation files. Included from the top CMakeLists.txt.
include(GNUInstallDirs)

find_program(GZIP_PROGRAM gzip REQUIRED)

# Debian wants these compressed, with no time stamp in the archive (-n).
function(kestrine_gzipped source destination out_list)
  get_filename_component(name ${source} NAME)
  string(REGEX REPLACE "\\.in$" "" name ${name})
  set(plain ${CMAKE_BINARY_DIR}/packaging/${destination}/${name})
  configure_file(${source} ${plain} @ONLY)
  add_custom_command(OUTPUT ${plain}.gz
                     COMMAND ${GZIP_PROGRAM} -9nkf ${plain}
                     DEPENDS ${plain}
                     VERBATIM)
  list(APPEND ${out_list} ${plain}.gz)
  set(${out_list} ${${out_list}} PARENT_SCOPE)
endfunction()

set(KESTRINE_VERSION ${PROJECT_VERSION})
set(manual_pages)
kestrine_gzipped(${PROJECT_SOURCE_DIR}/docs/man/kestrine-cli.1 man manual_pages)
if(TARGET kestrine)
  kestrine_gzipped(${PROJECT_SOURCE_DIR}/docs/man/kestrine.1 man manual_pages)
endif()
set(debian_changelog)
kestrine_gzipped(${PROJECT_SOURCE_DIR}/data/debian/changelog.in doc debian_changelog)
add_custom_target(packaging_files ALL DEPENDS ${manual_pages} ${debian_changelog})

install(FILES ${manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/data/kestrine-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME kestrine-cli)
install(FILES ${debian_changelog} ${PROJECT_SOURCE_DIR}/data/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestrine)
if(TARGET kestrine)
  install(FILES ${PROJECT_SOURCE_DIR}/data/kestrine.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/data/kestrine.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrine)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Kestrine developers")
set(CPACK_PACKAGE_CONTACT "The Kestrine developers <developers@kestrine.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "website downloader for offline browsing")
# The extended description; CPack indents it and marks the empty line as
# dpkg wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kestrine fetches a start page, finds every address it refers to (links,
images, scripts, frames, style sheets and the files that scripts name),
fetches those on a pool of workers, stores everything under a folder named
after the site and rewrites the references into relative local paths, so
the copy browses from disk. A built-in viewer serves a copy on 127.0.0.1 so
that today's script-driven sites, their search included, work offline.

This package holds the desktop application (kestrine) and the command-line
front end (kestrine-cli), which can also continue, update and verify a copy.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Opening the browser and the folder goes through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS bash-completion)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
