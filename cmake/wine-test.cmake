# How a test joins the suite. Every Windows test runs in this build folder's
# own Wine prefix, which the wine_up fixture starts and wine_down stops.
#
# nx_wine_test(<name> [TIMEOUT s] [SOURCES f...] [INCLUDES d...] [LIBS l...]
#              [DEPENDS t...] [ENV VAR=value...] [FIXTURES_SETUP f...])
#   The GoogleTest program tests/<name>.cpp with the console's resources and
#   the test library. SOURCES and INCLUDES are relative to the source tree.
#
# nx_wine_check(<name> [WIN64] [TIMEOUT s] [ENV VAR=value...] COMMAND cmd args...)
#   A script run with the same fixture and environment. WIN64: in the
#   build's second prefix, a 64-bit Windows (wine64_up / wine64_down; the
#   32-bit prefix's display stays up around it).
set(NX_TEST_ENV "NX_BUILD=${CMAKE_BINARY_DIR};NX_DISPLAY=${NX_DISPLAY};NX_ARCH=${NX_ARCH}")
add_test(NAME wine_up COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh up $<TARGET_FILE:nx_keepalive>)
add_test(NAME wine_down COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh down)
set_tests_properties(wine_up PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${NX_TEST_ENV}" TIMEOUT 180 SKIP_RETURN_CODE 77)
set_tests_properties(wine_down PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT "${NX_TEST_ENV}")
# The 64-bit build's own prefix is a 64-bit Windows already.
if(NX_ARCH STREQUAL "i686")
  add_test(NAME wine64_up COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh up $<TARGET_FILE:nx_keepalive>)
  add_test(NAME wine64_down COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh down)
  set_tests_properties(wine64_up PROPERTIES FIXTURES_SETUP wine64 FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77
                       ENVIRONMENT "${NX_TEST_ENV};NX_WINEARCH=win64" TIMEOUT 180)
  set_tests_properties(wine64_down PROPERTIES FIXTURES_CLEANUP wine64 FIXTURES_REQUIRED wine
                       ENVIRONMENT "${NX_TEST_ENV};NX_WINEARCH=win64")
endif()

# The Wine fixture, the test environment and a time limit (given, or the default).
function(nx_wine_fixture name timeout default env)
  if(NOT timeout)
    set(timeout ${default})
  endif()
  # 77: the machine runs no 32-bit programs (scripts/ia32-check.sh).
  set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout} FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77
                       ENVIRONMENT "${NX_TEST_ENV};${env}")
endfunction()

function(nx_wine_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;INCLUDES;LIBS;DEPENDS;ENV;FIXTURES_SETUP" ${ARGN})
  list(TRANSFORM T_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)
  list(TRANSFORM T_INCLUDES PREPEND ${CMAKE_SOURCE_DIR}/)
  add_executable(${name} ${CMAKE_SOURCE_DIR}/tests/${name}.cpp ${T_SOURCES})
  nx_use_console_resources(${name})
  target_link_libraries(${name} PRIVATE testutil ${T_LIBS})
  target_include_directories(${name} PRIVATE ${T_INCLUDES})
  target_precompile_headers(${name} REUSE_FROM testutil)
  add_dependencies(${name} nxwin nx_keepalive nxcfghost nx_hold ${T_DEPENDS})
  add_test(NAME ${name} COMMAND ${name})
  nx_wine_fixture(${name} "${T_TIMEOUT}" 150 "${T_ENV}")
  if(T_FIXTURES_SETUP)
    set_property(TEST ${name} APPEND PROPERTY FIXTURES_SETUP ${T_FIXTURES_SETUP})
  endif()
endfunction()

function(nx_wine_check name)
  cmake_parse_arguments(T "WIN64" "TIMEOUT" "ENV;COMMAND" ${ARGN})
  add_test(NAME ${name} COMMAND ${T_COMMAND})
  nx_wine_fixture(${name} "${T_TIMEOUT}" 300 "${T_ENV}")
  if(T_WIN64)
    set_property(TEST ${name} APPEND PROPERTY FIXTURES_REQUIRED wine64)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT NX_WINEARCH=win64)
  endif()
endfunction()
