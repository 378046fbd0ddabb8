# Service library test programs: the host program that loads nxsvc.dll at
# run time, the pure code linked into its tests, and the browser check of
# the assignment report.

# Stand-in for the installation service (not a deliverable).
add_executable(nxhost tests/hosts/nxhost.cpp)

# The report writer and the assignment parsing are tested directly.
foreach(t test_svclib_assign test_svclib_chtml test_badinput)
  if(TARGET ${t})
    target_sources(${t} PRIVATE ${CMAKE_SOURCE_DIR}/svclib/assign.cpp ${CMAKE_SOURCE_DIR}/svclib/chtml.cpp)
    target_include_directories(${t} PRIVATE ${CMAKE_SOURCE_DIR}/svclib)
  endif()
endforeach()

if(TARGET test_svclib_pkgfind)
  add_dependencies(test_svclib_pkgfind nxhost nxsvc)
  # The worked example's report is copied here for the browser check.
  set(NX_REPORT_DIR ${CMAKE_BINARY_DIR}/browser)
  set_property(TEST test_svclib_pkgfind APPEND PROPERTY ENVIRONMENT "NX_REPORT_DIR=${NX_REPORT_DIR}")
  set_property(TEST test_svclib_pkgfind APPEND PROPERTY FIXTURES_SETUP nx_report)
  add_test(NAME svclib_report_chromium
           COMMAND ${CMAKE_SOURCE_DIR}/tests/browser/check_report.sh ${NX_REPORT_DIR}/nxsvc.htm)
  set_tests_properties(svclib_report_chromium PROPERTIES FIXTURES_REQUIRED nx_report TIMEOUT 180)
endif()

# ---- search and status monitor ----
# A titled (or untitled, or hidden) window of a second process, which the
# status monitor may minimise.
add_executable(nx_dummywin WIN32 tests/hosts/nx_dummywin.cpp)
if(TARGET test_search_monitor)
  add_dependencies(test_search_monitor nx_dummywin)
endif()
# ---- end search and status monitor ----

# ---- help file ----
if(TARGET test_help)
  # The help file, and the console and library the Help command test copies.
  add_dependencies(test_help nx_help nxwin nxsvc)
  target_link_libraries(test_help PRIVATE nxdrivelib htmlhelp ole32 uuid)
endif()
