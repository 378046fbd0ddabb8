# The release packages, written into <build>/dist by scripts/release/package.sh
# (./release.sh copies them to dist/ of the source tree): a zip with the
# programs, the help file, the admin notes and the sample share, and an msi.
set(NX_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
set(NX_DIST_ZIP ${NX_DIST_DIR}/nxsvc-console-${NX_VERSION}.zip)
set(NX_DIST_MSI ${NX_DIST_DIR}/nxsvc-console-${NX_VERSION}.msi)
file(GLOB_RECURSE NX_DEMO_SHARE CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/demo/share/*)
add_custom_command(
    OUTPUT ${NX_DIST_ZIP} ${NX_DIST_MSI}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/release/package.sh ${CMAKE_BINARY_DIR}/bin ${NX_DIST_DIR}
    DEPENDS nxwin nxsvc nxsvc_exe ${NX_HELP_CHM}
            ${CMAKE_SOURCE_DIR}/scripts/release/package.sh ${CMAKE_SOURCE_DIR}/scripts/release/nxsvc.wxs
            ${CMAKE_SOURCE_DIR}/scripts/release/nxsvc.reg ${CMAKE_SOURCE_DIR}/docs/ADMIN.txt
            ${CMAKE_SOURCE_DIR}/console/res/resource.h ${NX_DEMO_SHARE}
    COMMENT "Packaging nxsvc-console-${NX_VERSION}.zip and .msi"
    VERBATIM)
add_custom_target(nx_release ALL DEPENDS ${NX_DIST_ZIP} ${NX_DIST_MSI})
add_dependencies(nx_release nx_help)
