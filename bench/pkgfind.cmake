# pkg_find against a bare read of the same share files (prints a ratio).
add_executable(bench_pkgfind ${CMAKE_CURRENT_LIST_DIR}/bench_pkgfind.cpp)
target_link_libraries(bench_pkgfind PRIVATE nxsvc)
target_include_directories(bench_pkgfind PRIVATE ${CMAKE_SOURCE_DIR}/common)
