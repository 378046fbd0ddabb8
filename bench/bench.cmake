# Benchmarks: each bench_*.exe prints its own figures (bench.sh runs them).

# ---- pkg_find (service library) ----
include(${CMAKE_CURRENT_LIST_DIR}/pkgfind.cmake)
# ---- end pkg_find ----
