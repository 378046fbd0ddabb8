# The Devices view: load of 10,000 status files against a bare read, the
# window's longest answer meanwhile, memory per row (prints figures).
add_executable(bench_fleet ${CMAKE_CURRENT_LIST_DIR}/bench_fleet.cpp)
target_link_libraries(bench_fleet PRIVATE nxconsole)
target_include_directories(bench_fleet PRIVATE ${CMAKE_SOURCE_DIR}/common ${CMAKE_SOURCE_DIR}/tests)
