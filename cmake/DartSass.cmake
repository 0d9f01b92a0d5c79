# SPDX-License-Identifier: GPL-3.0-or-later
# Dart Sass, the second compiler, in one of three ways:
#   bundled  the pinned npm archive (scripts/dart-sass.sha256) unpacked into the build tree's
#            resource folder as dart-sass/ and installed under libexec: it is machine code
#   system   a `sass` found on PATH when the app runs
#   off      LibSass alone
set(FENNELVIEW_DART_SASS "bundled" CACHE STRING "Dart Sass: bundled, system or off")
set_property(CACHE FENNELVIEW_DART_SASS PROPERTY STRINGS bundled system off)
if(NOT FENNELVIEW_DART_SASS MATCHES "^(bundled|system|off)$")
  message(FATAL_ERROR "FENNELVIEW_DART_SASS is bundled, system or off, not \"${FENNELVIEW_DART_SASS}\"")
endif()
set(FENNELVIEW_DART_SASS_INSTALL_DIR "${CMAKE_INSTALL_LIBEXECDIR}/fennelview/dart-sass")
# The installed app finds the bundled launcher by this path from its own folder.
file(RELATIVE_PATH FENNELVIEW_DART_SASS_FROM_BINDIR
     "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_FULL_LIBEXECDIR}/fennelview/dart-sass/sass")

# A folder left from an earlier configuration with another choice must not be found by the app.
file(REMOVE_RECURSE "${FENNELVIEW_RESOURCE_DIR}/dart-sass")
if(NOT FENNELVIEW_DART_SASS STREQUAL "bundled")
  message(STATUS "Dart Sass: ${FENNELVIEW_DART_SASS}")
  return()
endif()

# npm's names for the processors that Dart Sass is built for.
set(arch "${CMAKE_SYSTEM_PROCESSOR}")
if(arch STREQUAL "x86_64")
  set(arch x64)
elseif(arch STREQUAL "aarch64")
  set(arch arm64)
elseif(arch MATCHES "^armv7")
  set(arch arm)
endif()
file(STRINGS "${CMAKE_SOURCE_DIR}/scripts/dart-sass.sha256" pin
     REGEX "^[0-9a-f]+  sass-embedded-linux-${arch}-[0-9.]+\\.tgz$" LIMIT_COUNT 1)
if(NOT pin MATCHES "^([0-9a-f]+)  (sass-embedded-linux-${arch}-([0-9.]+)\\.tgz)$")
  message(FATAL_ERROR "No Dart Sass archive is pinned for ${CMAKE_SYSTEM_PROCESSOR} in scripts/dart-sass.sha256; "
                      "configure with -DFENNELVIEW_DART_SASS=system or off")
endif()
set(pinned_sha256 "${CMAKE_MATCH_1}")
set(archive_name "${CMAKE_MATCH_2}")
set(FENNELVIEW_DART_SASS_VERSION "${CMAKE_MATCH_3}")

set(FENNELVIEW_DART_SASS_ARCHIVE "${CMAKE_SOURCE_DIR}/.deps/${archive_name}" CACHE FILEPATH
    "The pinned Dart Sass npm archive (scripts/install-deps fetches it)")
set(FENNELVIEW_DART_SASS_DIR "${CMAKE_SOURCE_DIR}/.deps/dart-sass" CACHE PATH
    "An unpacked Dart Sass, used when the archive is not there")
if(EXISTS "${FENNELVIEW_DART_SASS_ARCHIVE}")
  file(SHA256 "${FENNELVIEW_DART_SASS_ARCHIVE}" sha256)
  if(NOT sha256 STREQUAL pinned_sha256)
    message(FATAL_ERROR "${FENNELVIEW_DART_SASS_ARCHIVE} has the sha256 ${sha256}, not the pinned "
                        "${pinned_sha256} of ${archive_name}")
  endif()
  set(unpacked "${CMAKE_BINARY_DIR}/dart-sass-archive")
  file(REMOVE_RECURSE "${unpacked}")
  file(ARCHIVE_EXTRACT INPUT "${FENNELVIEW_DART_SASS_ARCHIVE}" DESTINATION "${unpacked}" PATTERNS package/dart-sass)
  set(dart_sass_source "${unpacked}/package/dart-sass")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${FENNELVIEW_DART_SASS_ARCHIVE}")
  message(STATUS "Dart Sass: bundled ${FENNELVIEW_DART_SASS_VERSION} from ${FENNELVIEW_DART_SASS_ARCHIVE}, sha256 checked")
elseif(EXISTS "${FENNELVIEW_DART_SASS_DIR}/sass")
  # Without the archive only the version it reports can be checked.
  execute_process(COMMAND "${FENNELVIEW_DART_SASS_DIR}/sass" --version
                  OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT version STREQUAL FENNELVIEW_DART_SASS_VERSION)
    message(FATAL_ERROR "${FENNELVIEW_DART_SASS_DIR}/sass is not Dart Sass ${FENNELVIEW_DART_SASS_VERSION}; "
                        "run scripts/install-deps")
  endif()
  file(REAL_PATH "${FENNELVIEW_DART_SASS_DIR}" dart_sass_source)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${dart_sass_source}/sass")
  message(STATUS "Dart Sass: bundled ${FENNELVIEW_DART_SASS_VERSION} from ${dart_sass_source}, version checked "
                 "(no ${FENNELVIEW_DART_SASS_ARCHIVE} to check by sha256)")
else()
  message(FATAL_ERROR "Dart Sass ${FENNELVIEW_DART_SASS_VERSION} is to be bundled, but neither "
                      "${FENNELVIEW_DART_SASS_ARCHIVE} nor ${FENNELVIEW_DART_SASS_DIR}/sass exists. Run "
                      "scripts/install-deps, name the archive with -DFENNELVIEW_DART_SASS_ARCHIVE=FILE, or "
                      "configure with -DFENNELVIEW_DART_SASS=system or off")
endif()
file(COPY "${dart_sass_source}/" DESTINATION "${FENNELVIEW_RESOURCE_DIR}/dart-sass")
install(DIRECTORY "${FENNELVIEW_RESOURCE_DIR}/dart-sass/" DESTINATION "${FENNELVIEW_DART_SASS_INSTALL_DIR}"
        USE_SOURCE_PERMISSIONS)
