# libFuzzer targets over the same Win32-free readers and writers (clang only).
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(NX_FUZZ_DIR ${NX_ROOT}/tests/fuzz)
  set(NX_FUZZ_SOURCES
      listfile "console/views/listfile.cpp"
      csv "console/views/csvfile.cpp"
      assign "svclib/assign.cpp"
      pkgrows "console/search/pkgrows.cpp|common/log.cpp"
      rowsort "console/views/rowsort.cpp"
      chtml "svclib/chtml.cpp|svclib/assign.cpp")
  list(LENGTH NX_FUZZ_SOURCES len)
  math(EXPR last "${len} - 1")
  foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET NX_FUZZ_SOURCES ${i} name)
    list(GET NX_FUZZ_SOURCES ${j} srcs)
    string(REPLACE "|" ";" srcs "${srcs}")
    set(files ${NX_FUZZ_DIR}/fuzz_${name}.cpp)
    foreach(s ${srcs})
      list(APPEND files ${NX_ROOT}/${s})
    endforeach()
    add_executable(fuzz_${name} ${files})
    target_include_directories(fuzz_${name} PRIVATE ${NX_FUZZ_DIR} ${NX_ROOT}/common ${NX_ROOT}/console/views
                               ${NX_ROOT}/console/search ${NX_ROOT}/svclib)
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()
