# The installation service's rules (Win32-free) under the sanitizers.
add_executable(native_service ${CMAKE_CURRENT_LIST_DIR}/native_service.cpp ${NX_ROOT}/service/rules.cpp
               ${NX_ROOT}/service/osrules.cpp)
target_include_directories(native_service PRIVATE ${NX_ROOT}/service)
target_link_libraries(native_service PRIVATE gtest_main)
add_test(NAME native_service COMMAND native_service)
