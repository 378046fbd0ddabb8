# The help file nxwin.chm, compiled from docs/help with chmcmd into the
# folder of nxwin.exe, where the console's Help command opens it.
set(NX_HELP_CHM ${CMAKE_BINARY_DIR}/bin/nxwin.chm)
file(GLOB NX_HELP_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/docs/help/*.htm ${CMAKE_SOURCE_DIR}/docs/help/*.css
     ${CMAKE_SOURCE_DIR}/docs/help/*.hhp ${CMAKE_SOURCE_DIR}/docs/help/*.hhc
     ${CMAKE_SOURCE_DIR}/docs/help/*.hhk ${CMAKE_SOURCE_DIR}/docs/help/images/*.png
     ${CMAKE_SOURCE_DIR}/docs/console-*.png ${CMAKE_SOURCE_DIR}/docs/report.png)
add_custom_command(
    OUTPUT ${NX_HELP_CHM}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-help.sh ${CMAKE_SOURCE_DIR}/docs ${CMAKE_BINARY_DIR}/help ${NX_HELP_CHM} ${NX_VERSION}
    DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make-help.sh ${NX_HELP_SOURCES} ${CMAKE_SOURCE_DIR}/common/version.h
    COMMENT "Compiling nxwin.chm"
    VERBATIM)
add_custom_target(nx_help ALL DEPENDS ${NX_HELP_CHM})
