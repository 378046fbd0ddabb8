# nxsvc.exe, the installation service: loads nxsvc.dll at run time from its
# own folder and reads the device package list with the console's reader.
add_executable(nxsvc_exe service/main.cpp service/task.cpp service/session.cpp service/svclog.cpp
               service/rules.cpp service/osrules.cpp service/status.cpp
               service/launch.cpp service/restart.cpp console/views/listfile.cpp service/nxsvc.rc)
set_target_properties(nxsvc_exe PROPERTIES OUTPUT_NAME nxsvc)
target_include_directories(nxsvc_exe PRIVATE service console/views console/res)
target_link_libraries(nxsvc_exe PRIVATE nxcommon wtsapi32 userenv advapi32 shell32 ole32 uuid)
add_dependencies(nxsvc_exe nxsvc nxwin)
