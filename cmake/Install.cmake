# The installed tool, put together from both builds (scripts/package.sh):
#
#   bin/sspack                     host build, component "tool"
#   bin/sspack.exe                 cross build, component "wintool"
#   share/sspack/ssinstall.exe     cross build, component "runtime": the stub
#   share/sspack/impborl.dll       cross build, component "runtime"
#   share/sspack/sspack-manifest.schema.json
#                                  the manifest's JSON Schema (host build,
#                                  component "tool")
#   share/sspack/sample/           the sample screen saver ready to pack: its
#                                  manifest and texts (host build, "sample"),
#                                  pictures and settings (host build, made by
#                                  sample_media), engine and libraries (cross
#                                  build, "runtime")
#   share/doc/sspack/              the manifest and command reference
#                                  (host build, "doc")
#
# sspack finds the stub and the library beside itself first, then in
# ../share/sspack/ (SS_PARTS_FROM_BIN, the same relation as here).
#
# The Windows .zip is laid out as a Windows author expects it, flat:
# sspack.exe, ssinstall.exe and impborl.dll side by side, README.md and
# sample\ (component "windows" of the cross build and "windows-sample" of
# the host build). Those two components are left out of a plain
# `cmake --install`.
include(GNUInstallDirs)
# Installing builds nothing: scripts/package.sh builds the parts it installs,
# not the whole tree with its tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(SS_NAME sspack)
set(SS_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/${SS_NAME})
set(SS_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${SS_NAME})
# The relation that sspack follows from its own folder to its parts.
file(RELATIVE_PATH SS_PARTS_FROM_BIN /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${SS_SHARE_DIR})
if(TARGET sspack)
  target_compile_definitions(sspack PRIVATE SS_VERSION="${PROJECT_VERSION}"
                                            SS_PARTS_FROM_BIN="${SS_PARTS_FROM_BIN}")
endif()

set(SS_SAMPLE_TEXTS
  ${SS_ROOT}/examples/sample/sample.json
  ${SS_ROOT}/examples/sample/license.txt
  ${SS_ROOT}/examples/sample/readme.txt
  ${SS_ROOT}/examples/sample/captions.txt)

if(NOT SS_WINDOWS)
  if(TARGET sspack)
    install(TARGETS sspack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
  endif()
  install(FILES ${SS_ROOT}/tools/README.md DESTINATION ${SS_DOC_DIR} COMPONENT doc)
  if(TARGET sample_files)
    install(FILES ${SS_SAMPLE_TEXTS} DESTINATION ${SS_SHARE_DIR}/sample COMPONENT sample)
    install(DIRECTORY ${SS_SAMPLE_FILES}/ DESTINATION ${SS_SHARE_DIR}/sample COMPONENT sample)
    # The same files in the Windows .zip's sample folder.
    install(FILES ${SS_SAMPLE_TEXTS} DESTINATION sample COMPONENT windows-sample EXCLUDE_FROM_ALL)
    install(DIRECTORY ${SS_SAMPLE_FILES}/ DESTINATION sample COMPONENT windows-sample
            EXCLUDE_FROM_ALL)
  endif()
else()
  set(SS_SAMPLE_BUILT "")
  foreach(t sample_saver sample_aquafx sample_aquacap)
    if(TARGET ${t})
      list(APPEND SS_SAMPLE_BUILT $<TARGET_FILE:${t}>)
    endif()
  endforeach()
  if(TARGET ssinstall AND TARGET impborl)
    install(FILES $<TARGET_FILE:ssinstall> $<TARGET_FILE:impborl> DESTINATION ${SS_SHARE_DIR}
            COMPONENT runtime)
    install(FILES ${SS_SAMPLE_BUILT} DESTINATION ${SS_SHARE_DIR}/sample COMPONENT runtime)
  endif()
  if(TARGET sspack)
    install(PROGRAMS $<TARGET_FILE:sspack> DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT wintool)
  endif()
  # The Windows .zip.
  if(TARGET sspack AND TARGET ssinstall AND TARGET impborl)
    install(FILES $<TARGET_FILE:sspack> $<TARGET_FILE:ssinstall> $<TARGET_FILE:impborl>
            DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)
    install(FILES ${SS_ROOT}/tools/README.md DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)
    install(FILES ${SS_SAMPLE_BUILT} ${SS_SAMPLE_TEXTS} DESTINATION sample COMPONENT windows
            EXCLUDE_FROM_ALL)
  endif()
endif()

# The manifest's JSON Schema, where sspack looks for its parts: in the
# share folder (component "tool", so in the .deb) and beside sspack.exe in
# the Windows .zip. "sspack init" names the copy it finds in "$schema".
set(SS_MANIFEST_SCHEMA ${SS_ROOT}/tools/sspack-manifest.schema.json)
if(NOT SS_WINDOWS)
  install(FILES ${SS_MANIFEST_SCHEMA} DESTINATION ${SS_SHARE_DIR} COMPONENT tool)
elseif(TARGET sspack)
  install(FILES ${SS_MANIFEST_SCHEMA} DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)
endif()

# The manual page, the bash completion and Debian's package documents
# (host build; written by the target sspack_docs, tools/CMakeLists.txt):
#
#   share/man/man1/sspack.1                       component "man"
#   share/bash-completion/completions/sspack      component "doc"
#   the .deb: share/man/man1/sspack.1.gz and share/doc/sspack/copyright and
#             changelog.gz (Debian wants them compressed), component "deb"
#   the .zip: sspack.txt, the manual as plain text, component "windows-docs"
if(NOT SS_WINDOWS AND TARGET sspack_docs)
  set(SS_DOCS ${CMAKE_BINARY_DIR}/tools/docs)
  install(FILES ${SS_DOCS}/sspack.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT man)
  install(FILES ${SS_DOCS}/sspack.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME sspack COMPONENT doc)
  install(FILES ${SS_DOCS}/sspack.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT deb
          EXCLUDE_FROM_ALL)
  install(FILES ${SS_ROOT}/tools/debian/copyright ${SS_DOCS}/changelog.gz DESTINATION ${SS_DOC_DIR}
          COMPONENT deb EXCLUDE_FROM_ALL)
  if(SS_GROFF)
    install(FILES ${SS_DOCS}/sspack.txt DESTINATION . COMPONENT windows-docs EXCLUDE_FROM_ALL)
  endif()
endif()

# Packages, made by scripts/package.sh with the host build's CPack
# configuration: each generator takes its components from both builds
# (cmake/CPackProjects.cmake.in picks them).
set(CPACK_PACKAGE_NAME ${SS_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "ssinstaller")
# The maintainer is the one of the Debian changelog's latest entry, whose
# version must be the project's.
file(STRINGS ${SS_ROOT}/tools/debian/changelog SS_DEB_CHANGELOG_HEAD LIMIT_COUNT 1)
file(STRINGS ${SS_ROOT}/tools/debian/changelog SS_DEB_CHANGELOG_TRAILER REGEX "^ -- " LIMIT_COUNT 1)
if(NOT SS_DEB_CHANGELOG_HEAD MATCHES "^sspack \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "tools/debian/changelog: its latest entry is not version ${PROJECT_VERSION}")
endif()
string(REGEX REPLACE "^ -- (.*>)  .*$" "\\1" CPACK_PACKAGE_CONTACT "${SS_DEB_CHANGELOG_TRAILER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Builds self-contained screen-saver installers for 32-bit Windows")
# Lines of at most 80 columns, as Debian's control files want them.
set(CPACK_PACKAGE_DESCRIPTION
    "sspack turns a screen saver's engine, files and a JSON manifest into one
installer program for Windows 95 to 11, and lists, verifies, extracts and
signs finished installers. The installer stub, its decompression library and
a sample screen saver come with it.")
set(CPACK_PACKAGE_DIRECTORY ${SS_ROOT}/build/packages)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Signing (sspack build --sign) runs osslsigncode.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS osslsigncode)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackProjects.cmake)
configure_file(${SS_ROOT}/cmake/CPackProjects.cmake.in ${CMAKE_BINARY_DIR}/CPackProjects.cmake @ONLY)
include(CPack)
