# The service library's report writer and assignment parsing.
add_executable(native_svclib ${NX_ROOT}/tests/test_svclib_assign.cpp ${NX_ROOT}/tests/test_svclib_chtml.cpp
  ${NX_ROOT}/svclib/assign.cpp ${NX_ROOT}/common/chtml.cpp ${NX_ROOT}/common/assignment.cpp
  ${NX_ROOT}/common/listfile.cpp ${NX_ROOT}/common/textenc.cpp ${NX_ROOT}/common/codepage.cpp)
target_include_directories(native_svclib PRIVATE ${NX_ROOT}/svclib ${NX_ROOT}/common ${NX_ROOT}/tests)
target_link_libraries(native_svclib PRIVATE gtest_main)
add_test(NAME native_svclib COMMAND native_svclib)
