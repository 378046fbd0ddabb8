# The Devices view: load of 10,000 status files against a bare read, the
# window's longest answer meanwhile, memory per row (prints figures). Runs
# the console window in-process, so it carries the resources.
add_executable(bench_fleet ${CMAKE_CURRENT_LIST_DIR}/bench_fleet.cpp)
nx_use_console_resources(bench_fleet)
target_link_libraries(bench_fleet PRIVATE nxconsole)
target_include_directories(bench_fleet PRIVATE ${CMAKE_SOURCE_DIR}/common ${CMAKE_SOURCE_DIR}/tests)
