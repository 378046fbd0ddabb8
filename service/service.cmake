# nxsvc.exe, the installation service: loads nxsvc.dll at run time from its
# own folder and reads the device package list with the shared reader
# (common/listfile.*, in nxcommon).
add_executable(nxsvc_exe service/main.cpp service/task.cpp service/session.cpp service/svclog.cpp
               service/rules.cpp service/osrules.cpp service/status.cpp
               service/launch.cpp service/restart.cpp service/nxsvc.rc)
set_target_properties(nxsvc_exe PROPERTIES OUTPUT_NAME nxsvc)
# The manifest carries the product version (NX_VERSION, common/version.h);
# windres finds it through the include path.
configure_file(service/nxsvc.manifest.in ${CMAKE_BINARY_DIR}/service/nxsvc.manifest @ONLY)
set_source_files_properties(service/nxsvc.rc PROPERTIES OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/service/nxsvc.manifest)
target_include_directories(nxsvc_exe PRIVATE service ${CMAKE_BINARY_DIR}/service)
target_link_libraries(nxsvc_exe PRIVATE nxcommon wtsapi32 userenv advapi32 shell32 ole32 uuid)
add_dependencies(nxsvc_exe nxsvc nxwin)
