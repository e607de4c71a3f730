# SPDX-License-Identifier: MIT
# The Debian package (make deb): the shared library with its SONAME link,
# the header, the CMake package and leafturn.pc, the command and its manual
# page, and the licence as Debian keeps it, in /usr/share/doc/leafturn.

set(_lt_deb ${PROJECT_BINARY_DIR}/deb)
file(MAKE_DIRECTORY ${_lt_deb})

# The licence in Debian's machine-readable copyright format.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE _lt_licence)
string(REGEX REPLACE "\n\n" "\n.\n" _lt_licence "${_lt_licence}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" _lt_licence "${_lt_licence}")
string(REGEX REPLACE "\n+$" "" _lt_licence "${_lt_licence}")
file(WRITE ${_lt_deb}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: leafturn

Files: *
Copyright: 2026 The leafturn developers
License: Expat
 ${_lt_licence}
")
string(TIMESTAMP _lt_date "%a, %d %b %Y 00:00:00 +0000" UTC)
file(WRITE ${_lt_deb}/changelog
"leafturn (${PROJECT_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION}.

 -- The leafturn developers <leafturn@leafturn.invalid>  ${_lt_date}
")
# Compressed as Debian wants them: gzip -9n (no name, no time).
foreach(_f changelog)
  execute_process(COMMAND gzip -9nf ${_lt_deb}/${_f} RESULT_VARIABLE _rc)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cli/leafturn.1 ${_lt_deb}/leafturn.1 COPYONLY)
execute_process(COMMAND gzip -9nf ${_lt_deb}/leafturn.1)
install(FILES ${_lt_deb}/copyright ${_lt_deb}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/leafturn)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME leafturn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The leafturn developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "rotate pages of PDF files, damaged and unusual ones included")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"leafturn turns pages of PDF files by 90, 180 or 270 degrees, or to a given
rotation, and writes a fresh PDF file in which everything else is kept
byte for byte. It reads damaged files by scanning their bytes for objects.

This package holds the command-line tool leafturn, the shared library of
the seven calls (libleafturn) and the document library (libleafturn_doc:
loaded documents, appended updates, encrypted files, upright pages) with
their C headers, and the CMake and pkg-config files to build against them.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The leafturn developers <leafturn@leafturn.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The dynamic linker's cache is refreshed by dpkg's trigger, not by scripts.
file(WRITE ${_lt_deb}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_lt_deb}/triggers)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
