# The test programs and everything each one needs, one entry per test.
# nx_wine_test and nx_wine_check: cmake/wine-test.cmake.

# Host programs the tests start.
add_executable(nx_keepalive ${CMAKE_SOURCE_DIR}/scripts/keepalive.c)
# A caller compiled on its own that loads the library by name.
add_executable(nxcfghost ${CMAKE_SOURCE_DIR}/tests/hosts/nxcfghost.c)
target_include_directories(nxcfghost PRIVATE ${CMAKE_SOURCE_DIR}/common)
# Another program holding a file open (fault tests).
add_executable(nx_hold ${CMAKE_SOURCE_DIR}/tests/hosts/nx_hold.cpp)
# Starts a program outside its job (the service's scripts may).
add_executable(nx_breakaway ${CMAKE_SOURCE_DIR}/tests/hosts/nx_breakaway.cpp)
# Loads nxsvc.dll at run time and calls pkg_find, as the service does.
add_executable(nxhost ${CMAKE_SOURCE_DIR}/tests/hosts/nxhost.cpp)
# A titled (or untitled, or hidden) window of a second process, which the
# status monitor may minimise.
add_executable(nx_dummywin WIN32 ${CMAKE_SOURCE_DIR}/tests/hosts/nx_dummywin.cpp)

set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
add_library(testutil STATIC ${CMAKE_SOURCE_DIR}/tests/testutil.cpp ${CMAKE_SOURCE_DIR}/tests/testmain.cpp)
target_include_directories(testutil PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(testutil PUBLIC nxconsole gtest)
target_precompile_headers(testutil PUBLIC <windows.h> <commctrl.h> <gtest/gtest.h> <string> <vector>)

include(${CMAKE_SOURCE_DIR}/cmake/wine-test.cmake)

# Console
nx_wine_test(test_resources)
nx_wine_test(test_shell)
nx_wine_test(test_tree)
nx_wine_test(test_views_model)
nx_wine_test(test_views_listfile)
nx_wine_test(test_views_edit)
nx_wine_test(test_views_config)
nx_wine_test(test_search_cdir)
nx_wine_test(test_search_share)
nx_wine_test(test_search_thread)
nx_wine_test(test_search_monitor DEPENDS nx_dummywin)
# The Devices view and the fleet report over generated status files.
nx_wine_test(test_fleet)
nx_wine_test(test_help LIBS nxdrivelib htmlhelp ole32 uuid DEPENDS nx_help nxsvc)
# The help names every setting, package state and service log line the code
# has (the list docs/help/terms.txt, kept beside the code).
add_test(NAME test_help_terms COMMAND python3 ${CMAKE_SOURCE_DIR}/scripts/check-help-terms.py ${CMAKE_SOURCE_DIR})
# The Group Policy templates: well-formed, every setting but the password.
add_test(NAME test_help_admx COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-admx.sh ${CMAKE_SOURCE_DIR})

# Service library
nx_wine_test(test_foundation)
# The report writer and the assignment parsing are tested directly.
nx_wine_test(test_svclib_assign LIBS nxsvcrules)
nx_wine_test(test_svclib_chtml LIBS nxsvcrules)
# The worked example's report is copied to NX_REPORT_DIR for the browser check.
set(NX_REPORT_DIR ${CMAKE_BINARY_DIR}/browser)
nx_wine_test(test_svclib_pkgfind DEPENDS nxhost nxsvc ENV NX_REPORT_DIR=${NX_REPORT_DIR} FIXTURES_SETUP nx_report)
add_test(NAME svclib_report_chromium
         COMMAND ${CMAKE_SOURCE_DIR}/tests/browser/check_report.sh ${NX_REPORT_DIR}/nxsvc.htm)
set_tests_properties(svclib_report_chromium PROPERTIES FIXTURES_REQUIRED nx_report TIMEOUT 180 SKIP_RETURN_CODE 77)

# The installation service, in the foreground and under the service manager.
nx_wine_test(test_service LIBS nxdrivelib ole32 uuid crypt32 DEPENDS nxsvc_exe nxsvc nx_breakaway)
# Its Event Log entries, on Wine's eventlog debug channel.
nx_wine_check(test_service_events TIMEOUT 120 COMMAND ${CMAKE_SOURCE_DIR}/tests/service/check_events.sh $<TARGET_FILE_DIR:nxsvc_exe>)
nx_wine_check(test_service_sign TIMEOUT 600 COMMAND ${CMAKE_SOURCE_DIR}/tests/service/check_sign.sh $<TARGET_FILE_DIR:nxsvc_exe>)

# Bad input, faults, whole programs
nx_wine_test(test_badinput LIBS nxsvcrules)
nx_wine_test(test_faults)
# The service, the console and the demo share of the source tree (a Windows
# path through Z:).
nx_wine_test(test_e2e TIMEOUT 300 LIBS nxdrivelib DEPENDS nxsvc_exe nxhost nxdrive nxsvc ENV NX_DEMO=Z:${CMAKE_SOURCE_DIR}/demo
             NX_REPORT_DIR=${NX_REPORT_DIR} FIXTURES_SETUP nx_report_names)
# The names road again under another code page: Wine takes it from the
# locale of the programs it starts (made by scripts/wine-env.sh).
add_test(NAME test_e2e_cp1251 COMMAND test_e2e --gtest_filter=E2e.NamesInAnotherCodePage)
nx_wine_fixture(test_e2e_cp1251 300 300
                "NX_DEMO=Z:${CMAKE_SOURCE_DIR}/demo;LOCPATH=${CMAKE_BINARY_DIR}/wine/state/locale;LC_ALL=ru_RU.UTF-8")
add_test(NAME test_e2e_cp932 COMMAND test_e2e --gtest_filter=E2e.NamesInJapaneseCodePage)
nx_wine_fixture(test_e2e_cp932 300 300
                "NX_DEMO=Z:${CMAKE_SOURCE_DIR}/demo;LOCPATH=${CMAKE_BINARY_DIR}/wine/state/locale;LC_ALL=ja_JP.UTF-8")
# Its report with names in the code page, rendered by the browser.
add_test(NAME e2e_report_names_chromium
         COMMAND ${CMAKE_SOURCE_DIR}/tests/browser/check_report.sh ${NX_REPORT_DIR}/nxsvc-names.htm names)
set_tests_properties(e2e_report_names_chromium PROPERTIES FIXTURES_REQUIRED nx_report_names TIMEOUT 180 SKIP_RETURN_CODE 77)

# The package share on a real SMB file server (scripts/smb-env.sh), for the
# tests that name the smb fixture; the others keep the folder drive Y:.
add_test(NAME smb_up COMMAND ${CMAKE_SOURCE_DIR}/scripts/smb-env.sh up)
add_test(NAME smb_down COMMAND ${CMAKE_SOURCE_DIR}/scripts/smb-env.sh down)
set_tests_properties(smb_up PROPERTIES FIXTURES_SETUP smb FIXTURES_REQUIRED wine ENVIRONMENT "${NX_TEST_ENV}" TIMEOUT 60)
set_tests_properties(smb_down PROPERTIES FIXTURES_CLEANUP smb FIXTURES_REQUIRED wine ENVIRONMENT "${NX_TEST_ENV}")
nx_wine_test(test_smb TIMEOUT 420 DEPENDS nxsvc_exe nxhost nxsvc
             ENV NX_DEMO=Z:${CMAKE_SOURCE_DIR}/demo NX_SMB_ENV=${CMAKE_SOURCE_DIR}/scripts/smb-env.sh)
set_property(TEST test_smb APPEND PROPERTY FIXTURES_REQUIRED smb)

# The installation package, installed, started and removed under Wine.
nx_wine_check(release_msi COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check_msi.sh ${NX_DIST_MSI}
              $<TARGET_FILE:nxdrive>)
# The administrator's road on 64-bit Windows, with the 64-bit tools: the
# 32-bit product's (the 64-bit build runs in a 64-bit Windows throughout).
if(NX_ARCH STREQUAL "i686")
  nx_wine_check(release_win64 WIN64 COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check_win64.sh ${NX_DIST_MSI}
                $<TARGET_FILE_DIR:nxdrive>)
endif()

# Where the suite runs the 64-bit build, the 32-bit product is still built
# (it cannot run here), so what ships keeps compiling and packaging.
if(NX_ARCH STREQUAL "x86_64")
  add_test(NAME product_i686_build
           COMMAND ${CMAKE_COMMAND} -E env NX_ARCH=i686 NX_BUILD=${CMAKE_BINARY_DIR}/i686 sh -c
                   "${CMAKE_SOURCE_DIR}/scripts/configure.sh && cmake --build ${CMAKE_BINARY_DIR}/i686 --target nx_release")
  set_tests_properties(product_i686_build PROPERTIES TIMEOUT 900)
endif()

# The Win32-free code, built natively under the sanitizers.
add_test(NAME native_sanitizers COMMAND ${CMAKE_SOURCE_DIR}/scripts/native-tests.sh ${CMAKE_BINARY_DIR}/native)
set_tests_properties(native_sanitizers PROPERTIES TIMEOUT 600 FIXTURES_SETUP native)
# cppcheck and clang-tidy over the sources; any finding fails.
add_test(NAME static_checks COMMAND ${CMAKE_SOURCE_DIR}/scripts/static-checks.sh ${CMAKE_BINARY_DIR})
set_tests_properties(static_checks PROPERTIES TIMEOUT 600)
# A bounded run of each fuzz target over that build; ./fuzz.sh runs longer.
set(NX_FUZZ_SECONDS 20 CACHE STRING "Seconds each fuzz target runs in the test suite")
file(STRINGS ${CMAKE_SOURCE_DIR}/tests/fuzz/targets.txt NX_FUZZ_LINES REGEX "^[a-z]")
foreach(line ${NX_FUZZ_LINES})
  string(REGEX REPLACE " .*" "" t "${line}")
  add_test(NAME fuzz_${t} COMMAND ${CMAKE_SOURCE_DIR}/scripts/fuzz-run.sh ${CMAKE_BINARY_DIR}/native ${t} ${NX_FUZZ_SECONDS})
  set_tests_properties(fuzz_${t} PROPERTIES FIXTURES_REQUIRED native TIMEOUT 300)
endforeach()
