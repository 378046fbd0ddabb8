# The package search against a bare walk of the same tree (prints ratios).
# Links the console library; only the search's own objects are pulled in.
add_executable(bench_search ${CMAKE_CURRENT_LIST_DIR}/bench_search.cpp)
target_link_libraries(bench_search PRIVATE nxconsole)
