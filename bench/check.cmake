# The service's start-up platform check: its cost as the service logs it,
# against one bare cmd.exe start.
add_executable(bench_check ${CMAKE_CURRENT_LIST_DIR}/bench_check.cpp)
target_include_directories(bench_check PRIVATE ${CMAKE_SOURCE_DIR}/common)
add_dependencies(bench_check nxsvc_exe)
