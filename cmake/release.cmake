# The release packages, written into <build>/dist by scripts/release/package.sh
# (./release.sh copies them to dist/ of the source tree): a zip with the
# programs, the help file, the admin notes and the sample share, and an msi.
set(NX_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
# The 64-bit build makes the 64-bit package (package.sh reads the programs).
set(NX_DIST_NAME nxsvc-console-${NX_VERSION})
if(NX_ARCH STREQUAL "x86_64")
  set(NX_DIST_NAME ${NX_DIST_NAME}-x64)
endif()
set(NX_DIST_ZIP ${NX_DIST_DIR}/${NX_DIST_NAME}.zip)
set(NX_DIST_MSI ${NX_DIST_DIR}/${NX_DIST_NAME}.msi)
file(GLOB_RECURSE NX_DEMO_SHARE CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/demo/share/*)
add_custom_command(
    OUTPUT ${NX_DIST_ZIP} ${NX_DIST_MSI}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/release/package.sh ${CMAKE_BINARY_DIR}/bin ${NX_DIST_DIR}
    DEPENDS nxwin nxsvc nxsvc_exe ${NX_HELP_CHM}
            ${CMAKE_SOURCE_DIR}/scripts/release/package.sh ${CMAKE_SOURCE_DIR}/scripts/release/nxsvc.wxs
            ${CMAKE_SOURCE_DIR}/scripts/release/nxsvc.reg ${CMAKE_SOURCE_DIR}/docs/ADMIN.txt
            ${CMAKE_SOURCE_DIR}/scripts/release/policy/nxsvc.admx
            ${CMAKE_SOURCE_DIR}/scripts/release/policy/en-US/nxsvc.adml
            ${CMAKE_SOURCE_DIR}/console/res/resource.h ${NX_DEMO_SHARE}
    COMMENT "Packaging ${NX_DIST_NAME}.zip and .msi"
    VERBATIM)
add_custom_target(nx_release ALL DEPENDS ${NX_DIST_ZIP} ${NX_DIST_MSI})
add_dependencies(nx_release nx_help)
