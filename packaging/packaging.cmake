# The release artefacts (scripts/package.sh): on Windows the exe's version resource and
# manifest and a zip; on Linux a Debian package as Debian ships programs (man pages,
# copyright, compressed changelog, stripped binaries; scripts/lib/deb_release.sh gives
# the release build Debian's hardening flags). Included last by the top-level
# CMakeLists.txt, so that it sees every target; it leaves out signing of either artefact.
set(FILEPTT_PACKAGING ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(FILEPTT_USER_README ${FILEPTT_PACKAGING}/user/README.txt)

set(CPACK_PACKAGE_NAME fileptt)
set(CPACK_PACKAGE_VENDOR "the fileptt developers")
set(CPACK_PACKAGE_CONTACT "fileptt developers <dev@fileptt.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keys a transmitter's PTT (RTS and DTR) while TX.txt exists")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # Version resource and manifest, compiled by MinGW's windres.
  enable_language(RC)
  set(FILEPTT_VERSION_QUAD ${PROJECT_VERSION}.0)
  string(REPLACE "." "," FILEPTT_VERSION_COMMAS ${FILEPTT_VERSION_QUAD})
  set(FILEPTT_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/fileptt.exe.manifest)
  configure_file(${FILEPTT_PACKAGING}/windows/fileptt.exe.manifest ${FILEPTT_MANIFEST} @ONLY)
  configure_file(${FILEPTT_PACKAGING}/windows/fileptt.rc.in ${CMAKE_CURRENT_BINARY_DIR}/fileptt.rc
                 @ONLY)
  target_sources(fileptt PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/fileptt.rc)
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/fileptt.rc PROPERTIES
    OBJECT_DEPENDS ${FILEPTT_MANIFEST})

  # Windows users open text files with Notepad: .txt names.
  install(TARGETS fileptt RUNTIME DESTINATION .)
  install(FILES ${FILEPTT_USER_README} DESTINATION .)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME fileptt-${PROJECT_VERSION}-windows-x64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  include(CPack)
  return()
endif()

# Man pages and the changelog go in compressed as Debian wants them: gzip -9n (no name,
# no time stamp, so that the package builds reproducibly).
set(FILEPTT_DOC_BUILD ${CMAKE_CURRENT_BINARY_DIR}/packaging)
set(FILEPTT_MAN_PAGES fileptt)
if(TARGET fileptt-ports)
  list(APPEND FILEPTT_MAN_PAGES fileptt-ports)
endif()
set(fileptt_compressed)
foreach(page ${FILEPTT_MAN_PAGES})
  add_custom_command(OUTPUT ${FILEPTT_DOC_BUILD}/${page}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${FILEPTT_DOC_BUILD}
    COMMAND gzip -9n -c ${FILEPTT_PACKAGING}/man/${page}.1 > ${FILEPTT_DOC_BUILD}/${page}.1.gz
    DEPENDS ${FILEPTT_PACKAGING}/man/${page}.1 VERBATIM)
  list(APPEND fileptt_compressed ${FILEPTT_DOC_BUILD}/${page}.1.gz)
endforeach()
add_custom_command(OUTPUT ${FILEPTT_DOC_BUILD}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${FILEPTT_DOC_BUILD}
  COMMAND gzip -9n -c ${FILEPTT_PACKAGING}/debian/changelog > ${FILEPTT_DOC_BUILD}/changelog.gz
  DEPENDS ${FILEPTT_PACKAGING}/debian/changelog VERBATIM)
add_custom_target(fileptt_package_docs ALL DEPENDS ${fileptt_compressed} ${FILEPTT_DOC_BUILD}/changelog.gz)

install(TARGETS fileptt RUNTIME DESTINATION bin)
if(TARGET fileptt-ports)
  install(TARGETS fileptt-ports RUNTIME DESTINATION bin)
endif()
install(FILES ${fileptt_compressed} DESTINATION share/man/man1)
install(FILES ${FILEPTT_PACKAGING}/fileptt.desktop DESTINATION share/applications)
install(FILES ${FILEPTT_PACKAGING}/fileptt.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${FILEPTT_USER_README} DESTINATION share/doc/fileptt RENAME README)
install(FILES ${FILEPTT_PACKAGING}/debian/copyright ${FILEPTT_DOC_BUILD}/changelog.gz
        DESTINATION share/doc/fileptt)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The extended description, in lines of at most 80 characters as Debian wants; CPack
# puts the summary above it.
file(READ ${FILEPTT_PACKAGING}/debian/description CPACK_DEBIAN_PACKAGE_DESCRIPTION)
string(STRIP "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}" CPACK_DEBIAN_PACKAGE_DESCRIPTION)
include(CPack)
