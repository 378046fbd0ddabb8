# Package views: ReadINI, OnSort and the model's memory per row (prints
# ratios). Runs the console window in-process, so it carries the resources.
add_executable(bench_views ${CMAKE_CURRENT_LIST_DIR}/bench_views.cpp)
nx_use_console_resources(bench_views)
target_link_libraries(bench_views PRIVATE nxconsole)
