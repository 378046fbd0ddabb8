# The demo: a stand-in for the installation service and a driver for the
# console. Neither is a deliverable; run.sh, scripts/screenshots.sh and the
# end-to-end tests use them.

# nxsim.exe: nine characters, so the library's log lands beside it.
add_executable(nxsim demo/nxsim.cpp)
target_link_libraries(nxsim PRIVATE nxcommon)
add_dependencies(nxsim nxsvc)

add_library(nxdrivelib STATIC demo/drive.cpp)
target_include_directories(nxdrivelib PUBLIC demo)
target_link_libraries(nxdrivelib PUBLIC comctl32 user32)

add_executable(nxdrive demo/nxdrive.cpp)
target_link_libraries(nxdrive PRIVATE nxdrivelib)
