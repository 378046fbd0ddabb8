# Console resources: generates the artwork from the XPM sources and provides
# the resource script for nxwin.exe and every test program.
#
# Include from the top CMakeLists.txt. Defines:
#   NX_CONSOLE_RC   absolute path of nxwin.rc; add it to each executable that
#                   needs the console's resources (a static library would drop
#                   them: nothing references the .rc object)
#   nx_art          target producing the bitmaps, icon and cursor; make each
#                   such executable depend on it
#   NX_ART_DIR      folder of the generated files (<build>/art)
#   nx_use_console_resources(<target>)
#                   optional helper doing both for a target, also for targets
#                   defined in other directories

find_package(Python3 COMPONENTS Interpreter REQUIRED)

get_filename_component(NX_RES_DIR "${CMAKE_CURRENT_LIST_DIR}" ABSOLUTE)
get_filename_component(NX_ART_SCRIPT "${NX_RES_DIR}/../../scripts/make_art.py" ABSOLUTE)
set(NX_ART_DIR "${CMAKE_BINARY_DIR}/art")

file(GLOB NX_ART_SOURCES CONFIGURE_DEPENDS "${NX_RES_DIR}/art/*.xpm")
set(NX_ART_OUTPUTS
    "${NX_ART_DIR}/toolbar.bmp"
    "${NX_ART_DIR}/images.bmp"
    "${NX_ART_DIR}/nxwin.ico"
    "${NX_ART_DIR}/hand.cur")

add_custom_command(
    OUTPUT ${NX_ART_OUTPUTS}
    COMMAND "${Python3_EXECUTABLE}" "${NX_ART_SCRIPT}" "${NX_ART_DIR}"
    DEPENDS "${NX_ART_SCRIPT}" ${NX_ART_SOURCES}
    COMMENT "Generating toolbar.bmp, images.bmp, nxwin.ico and hand.cur"
    VERBATIM)
add_custom_target(nx_art DEPENDS ${NX_ART_OUTPUTS})

# The manifest carries the product version (NX_VERSION, common/version.h).
configure_file("${NX_RES_DIR}/nxwin.manifest.in" "${NX_ART_DIR}/nxwin.manifest" @ONLY)
get_filename_component(NX_COMMON_DIR "${NX_RES_DIR}/../../common" ABSOLUTE)

set(NX_CONSOLE_RC "${NX_RES_DIR}/nxwin.rc")
# windres does not report what the script pulls in, so list it here; the
# include path lets it find the generated files and resource.h.
set(NX_CONSOLE_RC_DEPENDS
    ${NX_ART_OUTPUTS}
    "${NX_ART_DIR}/nxwin.manifest"
    "${NX_RES_DIR}/resource.h"
    "${NX_COMMON_DIR}/version.h")
set_source_files_properties("${NX_CONSOLE_RC}" PROPERTIES
    OBJECT_DEPENDS "${NX_CONSOLE_RC_DEPENDS}"
    INCLUDE_DIRECTORIES "${NX_ART_DIR};${NX_RES_DIR};${NX_COMMON_DIR}")

function(nx_use_console_resources target)
  target_sources(${target} PRIVATE "${NX_CONSOLE_RC}")
  add_dependencies(${target} nx_art)
  # Source properties are per directory: set them where the target lives too.
  set_source_files_properties("${NX_CONSOLE_RC}" TARGET_DIRECTORY ${target} PROPERTIES
      OBJECT_DEPENDS "${NX_CONSOLE_RC_DEPENDS}"
      INCLUDE_DIRECTORIES "${NX_ART_DIR};${NX_RES_DIR};${NX_COMMON_DIR}")
endfunction()
