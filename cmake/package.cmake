# What the package documents about itself, and the Debian package: cpack -G DEB in the build
# folder.
set(KAVEL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/kavel2000)

# The changelog, the metainfo and the manual pages name the release being built: a version
# bumped in project() alone would ship a package whose history stops at the last one.
function(kavel_check_version file pattern)
  file(STRINGS ${file} found REGEX "${pattern}" LIMIT_COUNT 1)
  if(NOT found)
    message(FATAL_ERROR "${file} does not name version ${PROJECT_VERSION}")
  endif()
endfunction()
kavel_check_version(dist/changelog "^kavel2000 \\(${PROJECT_VERSION}\\) ")
kavel_check_version(dist/kavel2000.metainfo.xml "<release version=\"${PROJECT_VERSION}\"")
kavel_check_version(dist/kavel-report.1 "^\\.TH .*\"Kavel 2000 ${PROJECT_VERSION}\"")
kavel_check_version(dist/kavel32.1 "^\\.TH .*\"Kavel 2000 ${PROJECT_VERSION}\"")

kavel_gzip(${CMAKE_SOURCE_DIR}/dist/changelog ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES dist/copyright ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${KAVEL_DOCDIR})
install(FILES examples/y2k.str examples/y2k200.str DESTINATION ${KAVEL_DOCDIR}/examples)
install(FILES dist/kavel2000.lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
  RENAME kavel2000)

set(CPACK_PACKAGE_NAME kavel2000)
set(CPACK_PACKAGE_VENDOR "VornSoftware")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Year 2000 compliance checker for text and source files")
# The long description, wrapped as Debian's control files want it (paragraphs apart by an
# empty line, lines that start with a blank shown as they are).
set(CPACK_PACKAGE_DESCRIPTION_FILE ${CMAKE_SOURCE_DIR}/dist/description)
set(CPACK_PACKAGE_CONTACT "VornSoftware <support@vornsoftware.com>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "VornSoftware <support@vornsoftware.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the libraries the programs link: Qt's window system plugins, and a launcher for Edit
# File.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
