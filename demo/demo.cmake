# The demo's driver for the console, not a deliverable; run.sh,
# scripts/screenshots.sh and the end-to-end tests use it.
add_library(nxdrivelib STATIC demo/drive.cpp)
target_include_directories(nxdrivelib PUBLIC demo common console/res)
target_link_libraries(nxdrivelib PUBLIC comctl32 user32)

add_executable(nxdrive demo/nxdrive.cpp)
target_link_libraries(nxdrive PRIVATE nxdrivelib)
