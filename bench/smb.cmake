# The package share on a real SMB server: the search against a bare walk,
# and pkg_find for many devices with smbd's request counts (prints figures).
add_executable(bench_smb ${CMAKE_CURRENT_LIST_DIR}/bench_smb.cpp)
target_link_libraries(bench_smb PRIVATE nxconsole)
target_include_directories(bench_smb PRIVATE ${CMAKE_SOURCE_DIR}/common ${CMAKE_SOURCE_DIR}/tests)
