# The search's row building (Win32-free) under the sanitizers.
add_executable(native_search ${CMAKE_CURRENT_LIST_DIR}/native_search.cpp
  ${NX_ROOT}/console/search/pkgrows.cpp ${NX_ROOT}/common/sharelayout.cpp ${NX_ROOT}/common/log.cpp ${NX_ROOT}/common/textenc.cpp
  ${NX_ROOT}/common/codepage.cpp)
target_include_directories(native_search PRIVATE ${NX_ROOT}/console/search ${NX_ROOT}/common)
target_link_libraries(native_search PRIVATE gtest_main)
add_test(NAME native_search COMMAND native_search)
