# Installing and packaging, on Linux. `cmake --install` puts the command-line
# tool in bin/ and its manual page in share/man/man1. `cpack` makes two
# packages: a Debian package of the tool, its run-time dependencies found by
# dpkg-shlibdeps, and a zip of what Windows users need: both plug-ins, the
# 64-bit vantrel.exe and a text on where each goes. The zip takes the files
# from the win32 and win64 builds, so they must be built first
# (scripts/package.sh does it all).
include(GNUInstallDirs)

install(TARGETS vantrel_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
# Without the compilers' notes, as Debian strips its packages' programs.
install(CODE "execute_process(COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/vantrel\" COMMAND_ERROR_IS_FATAL ANY)"
        COMPONENT tool)

# The manual page, made from the tool's own --help and --version by help2man
# whenever the tool is built, so that the two never disagree. help2man is in
# the package set of scripts/setup.sh: building the tool alone needs it not.
find_program(HELP2MAN help2man)
set(VANTREL_MAN_PAGE ${CMAKE_BINARY_DIR}/man/vantrel.1)
if(HELP2MAN)
  set(make_man_page COMMAND ${HELP2MAN} --no-info --section 1
      --name "filter image files through the Vantrel channel-order plug-in"
      --include ${CMAKE_SOURCE_DIR}/packaging/vantrel.h2m --output ${VANTREL_MAN_PAGE} $<TARGET_FILE:vantrel_cli>)
else()
  set(make_man_page COMMAND ${CMAKE_COMMAND} -E echo "help2man is missing: bash scripts/setup.sh package installs it"
      COMMAND ${CMAKE_COMMAND} -E false)
endif()
add_custom_command(
  OUTPUT ${VANTREL_MAN_PAGE}.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
  ${make_man_page}
  # The examples as lines of their own, not filled into one paragraph, and
  # the exit statuses a section of their own.
  COMMAND ${CMAKE_COMMAND} -DPAGE=${VANTREL_MAN_PAGE} -P ${CMAKE_SOURCE_DIR}/packaging/man_sections.cmake
  COMMAND gzip -9nf ${VANTREL_MAN_PAGE}
  DEPENDS vantrel_cli ${CMAKE_SOURCE_DIR}/packaging/man_sections.cmake ${CMAKE_SOURCE_DIR}/packaging/vantrel.h2m
  COMMENT "Making the manual page of vantrel from its --help"
  VERBATIM)
add_custom_target(vantrel_man ALL DEPENDS ${VANTREL_MAN_PAGE}.gz)
install(FILES ${VANTREL_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)

# The package's documents as Debian keeps them: the copyright in the
# machine-readable format as it is, the changelog and the third-party notices
# compressed.
set(VANTREL_DOCS ${CMAKE_BINARY_DIR}/doc)
add_custom_command(
  OUTPUT ${VANTREL_DOCS}/changelog.gz ${VANTREL_DOCS}/THIRD-PARTY-NOTICES.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VANTREL_DOCS}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/packaging/debian/changelog ${VANTREL_DOCS}/changelog
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt ${VANTREL_DOCS}/THIRD-PARTY-NOTICES
  COMMAND gzip -9nf ${VANTREL_DOCS}/changelog ${VANTREL_DOCS}/THIRD-PARTY-NOTICES
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/debian/changelog ${CMAKE_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt
  VERBATIM)
add_custom_target(vantrel_docs ALL DEPENDS ${VANTREL_DOCS}/changelog.gz ${VANTREL_DOCS}/THIRD-PARTY-NOTICES.gz)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright ${VANTREL_DOCS}/changelog.gz
              ${VANTREL_DOCS}/THIRD-PARTY-NOTICES.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vantrel COMPONENT tool)

# The Windows files of the zip, as the win32 and win64 presets build them.
set(VANTREL_SHIPPED_WIN32 ${CMAKE_SOURCE_DIR}/build/win32/bin/Vantrel.8bf CACHE FILEPATH "The 32-bit plug-in to check")
set(VANTREL_SHIPPED_WIN64 ${CMAKE_SOURCE_DIR}/build/win64/bin/Vantrel64.8bf CACHE FILEPATH "The 64-bit plug-in to check")
set(VANTREL_SHIPPED_WIN64_CLI ${CMAKE_SOURCE_DIR}/build/win64/bin/vantrel.exe CACHE FILEPATH
    "The 64-bit Windows command-line tool to ship")
# The texts of the zip with Windows' line ends: where each file goes, the
# licence and the third-party notices.
configure_file(${CMAKE_SOURCE_DIR}/packaging/README-plugins.txt.in ${CMAKE_BINARY_DIR}/packaging/README.txt @ONLY
               NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt ${CMAKE_BINARY_DIR}/packaging/THIRD-PARTY-NOTICES.txt @ONLY
               NEWLINE_STYLE CRLF)
set(shipped ${VANTREL_SHIPPED_WIN32} ${VANTREL_SHIPPED_WIN64} ${VANTREL_SHIPPED_WIN64_CLI})
# Only in the zip, never by a plain `cmake --install`.
install(CODE "
  foreach(file ${shipped})
    if(NOT EXISTS \${file})
      message(FATAL_ERROR \"\${file} is missing: build the win32 preset (Vantrel.8bf) and the win64 preset (Vantrel64.8bf, vantrel.exe) first, or run scripts/package.sh\")
    endif()
  endforeach()"
  COMPONENT plugins EXCLUDE_FROM_ALL)
install(FILES ${shipped} ${CMAKE_BINARY_DIR}/packaging/README.txt ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt
              ${CMAKE_BINARY_DIR}/packaging/THIRD-PARTY-NOTICES.txt
        DESTINATION vantrel-${PROJECT_VERSION}-windows COMPONENT plugins EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR Vantrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "filters image files through the Vantrel channel-order plug-in")
# The first line of the package's description is the summary above.
string(CONCAT CPACK_COMPONENT_TOOL_DESCRIPTION
    "vantrel runs the Vantrel image filter plug-in on image files exactly as an\n"
    "image editor runs it: it permutes colour channels (24 orders for RGB, 256\n"
    "for CMYK), blends with the source and clears a channel; one file, a batch\n"
    "by worker processes, a share of a batch split among machines, or a contact\n"
    "sheet of every channel order of an image. Reads and writes whatever libvips\n"
    "does.")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB ZIP)
set(CPACK_COMPONENTS_ALL tool plugins)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/packaging/per_generator.cmake)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_TOOL_PACKAGE_NAME vantrel)
set(CPACK_DEBIAN_TOOL_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Vantrel developers <developers@vantrel.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# The libraries the tool links, as dpkg-shlibdeps finds their packages:
# libvips and what it brings (its text renderer and the fonts among them).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_ARCHIVE_PLUGINS_FILE_NAME vantrel-${PROJECT_VERSION}-windows-plugins)
include(CPack)
