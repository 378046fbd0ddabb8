# The installation service's task over lists at and past its bounds: task
# time and the service's peak memory against a one-package list.
add_executable(bench_service ${CMAKE_CURRENT_LIST_DIR}/bench_service.cpp)
target_include_directories(bench_service PRIVATE ${CMAKE_SOURCE_DIR}/common)
target_link_libraries(bench_service PRIVATE psapi advapi32)
add_dependencies(bench_service nxsvc_exe)
