# Package views: ReadINI, OnSort and the model's memory per row (prints
# ratios). Runs the console window in-process, so it carries the resources.
add_executable(bench_views ${CMAKE_CURRENT_LIST_DIR}/bench_views.cpp ${NX_RC_FILES})
target_link_libraries(bench_views PRIVATE nxconsole)
if(TARGET nx_art)
  add_dependencies(bench_views nx_art)
endif()
