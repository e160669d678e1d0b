# What the package documents about itself, and the Debian package: cpack -G DEB in the build
# folder.

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

# Two binary packages from one build: kavel-report (the command-line tool, its manual page,
# completion and examples; the C and C++ runtime only) and kavel2000 (the window), which
# depends on kavel-report: an upgrade from 1.0.0, whose one package held both programs, keeps
# kavel-report for the scripts that use it. Each has its own doc folder with the copyright
# and the changelog.
kavel_gzip(${CMAKE_SOURCE_DIR}/dist/changelog ${CMAKE_BINARY_DIR}/changelog.gz)
foreach(package kavel-report kavel2000)
  if(package STREQUAL kavel-report)
    set(component report)
  else()
    set(component window)
  endif()
  install(FILES dist/copyright ${CMAKE_BINARY_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()
install(FILES examples/y2k.str examples/y2k200.str
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kavel-report/examples COMPONENT report)
install(FILES dist/kavel2000.lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
  RENAME kavel2000 COMPONENT window)

# A package's description: its summary on the first line of the file, the long text after
# (no CPACK_PACKAGE_DESCRIPTION_SUMMARY: cpack would put it before the summary of each).
function(kavel_package_description component file)
  file(READ ${CMAKE_SOURCE_DIR}/dist/${file} text)
  string(STRIP "${text}" text)
  set(CPACK_DEBIAN_${component}_DESCRIPTION "${text}" PARENT_SCOPE)
endfunction()

set(CPACK_PACKAGE_NAME kavel2000)
set(CPACK_PACKAGE_VENDOR "VornSoftware")
set(CPACK_PACKAGE_CONTACT "VornSoftware <support@vornsoftware.com>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "VornSoftware <support@vornsoftware.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SOURCE kavel2000)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL report)
if(KAVEL_BUILD_GUI)
  list(APPEND CPACK_COMPONENTS_ALL window)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

# kavel-report: the C and C++ runtime (found by dpkg-shlibdeps), nothing of Qt. The completion
# needs bash-completion to be loaded on a stock shell. Its files were kavel2000's before 1.1.0.
set(CPACK_DEBIAN_REPORT_PACKAGE_NAME kavel-report)
set(CPACK_DEBIAN_REPORT_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_DEBIAN_REPORT_PACKAGE_BREAKS "kavel2000 (<< 1.1.0)")
set(CPACK_DEBIAN_REPORT_PACKAGE_REPLACES "kavel2000 (<< 1.1.0)")
kavel_package_description(REPORT kavel-report.description)

# kavel2000: beyond the libraries the window links, Qt's window system plugins, and a launcher
# for Edit File.
set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME kavel2000)
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "kavel-report (= ${PROJECT_VERSION}), qt6-qpa-plugins")
set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS "xdg-utils")
kavel_package_description(WINDOW kavel2000.description)

set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
