# nxsvc.exe, the installation service: loads nxsvc.dll at run time from its
# own folder and reads the device package list with the shared reader
# (common/listfile.*, in nxcommon).
# Its Event Log messages: the message compiler of the same toolchain makes
# the message table (built into nxsvc.exe, the source's message file) and
# the header of event ids.
string(REGEX REPLACE "windres$" "windmc" NX_MC_COMPILER "${CMAKE_RC_COMPILER}")
set(NX_MSG_DIR ${CMAKE_BINARY_DIR}/service)
add_custom_command(OUTPUT ${NX_MSG_DIR}/svcmsg.h ${NX_MSG_DIR}/svcmsg.rc ${NX_MSG_DIR}/MSG00409.bin
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${NX_MSG_DIR}
                   COMMAND ${NX_MC_COMPILER} -h ${NX_MSG_DIR} -r ${NX_MSG_DIR} ${CMAKE_SOURCE_DIR}/service/svcmsg.mc
                   DEPENDS ${CMAKE_SOURCE_DIR}/service/svcmsg.mc)
add_executable(nxsvc_exe service/main.cpp service/task.cpp service/session.cpp service/svclog.cpp
               service/svcrules.cpp service/osrules.cpp service/svcstatus.cpp
               service/launch.cpp service/restart.cpp service/eventlog.cpp service/check.cpp service/sign.cpp service/signcheck.cpp service/signshare.cpp common/manifest.cpp service/nxsvc.rc
               ${NX_MSG_DIR}/svcmsg.h)
set_target_properties(nxsvc_exe PROPERTIES OUTPUT_NAME nxsvc)
# The manifest carries the product version (NX_VERSION, common/version.h);
# windres finds it through the include path.
configure_file(service/nxsvc.manifest.in ${CMAKE_BINARY_DIR}/service/nxsvc.manifest @ONLY)
set_source_files_properties(service/nxsvc.rc PROPERTIES OBJECT_DEPENDS
                            "${CMAKE_BINARY_DIR}/service/nxsvc.manifest;${NX_MSG_DIR}/svcmsg.rc;${NX_MSG_DIR}/MSG00409.bin")
target_include_directories(nxsvc_exe PRIVATE service ${CMAKE_BINARY_DIR}/service)
target_link_libraries(nxsvc_exe PRIVATE nxcommon wtsapi32 userenv advapi32 shell32 ole32 uuid crypt32 bcrypt)
add_dependencies(nxsvc_exe nxsvc nxwin)
