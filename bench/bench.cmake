# Benchmarks: each bench_*.exe prints its own figures (bench.sh runs them).

# ---- pkg_find (service library) ----
include(${CMAKE_CURRENT_LIST_DIR}/pkgfind.cmake)
# ---- end pkg_find ----

# ---- package views ----
include(${CMAKE_CURRENT_LIST_DIR}/views.cmake)
# ---- end package views ----

# ---- package search (console) ----
include(${CMAKE_CURRENT_LIST_DIR}/search.cmake)
# ---- end package search ----

# ---- package share over SMB ----
include(${CMAKE_CURRENT_LIST_DIR}/smb.cmake)
# ---- end package share over SMB ----

# ---- installation service ----
include(${CMAKE_CURRENT_LIST_DIR}/service.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/check.cmake)
# ---- end installation service ----
# ---- fleet status (Devices view) ----
include(${CMAKE_CURRENT_LIST_DIR}/fleet.cmake)
# ---- end fleet status ----
# ---- signed shares ----
include(${CMAKE_CURRENT_LIST_DIR}/sign.cmake)
# ---- end signed shares ----
