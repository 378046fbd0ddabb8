# The installation service's rules (Win32-free) under the sanitizers.
add_executable(native_service ${CMAKE_CURRENT_LIST_DIR}/native_service.cpp ${NX_ROOT}/service/svcrules.cpp
  ${NX_ROOT}/common/policy.cpp
  ${NX_ROOT}/common/manifest.cpp
  ${NX_ROOT}/service/osrules.cpp ${NX_ROOT}/common/sharelayout.cpp ${NX_ROOT}/common/listfile.cpp
  ${NX_ROOT}/common/textenc.cpp ${NX_ROOT}/common/codepage.cpp)
target_include_directories(native_service PRIVATE ${NX_ROOT}/service ${NX_ROOT}/common)
target_link_libraries(native_service PRIVATE gtest_main)
add_test(NAME native_service COMMAND native_service)
# Figures for the service's list bounds (not a test): bench/bench_service_rules.cpp.
add_executable(bench_service_rules ${NX_ROOT}/bench/bench_service_rules.cpp ${NX_ROOT}/service/svcrules.cpp
  ${NX_ROOT}/service/osrules.cpp
  ${NX_ROOT}/common/sharelayout.cpp
  ${NX_ROOT}/common/listfile.cpp ${NX_ROOT}/common/textenc.cpp ${NX_ROOT}/common/codepage.cpp)
target_include_directories(bench_service_rules PRIVATE ${NX_ROOT}/service ${NX_ROOT}/common)
