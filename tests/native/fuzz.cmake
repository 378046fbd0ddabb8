# libFuzzer targets over the same Win32-free readers and writers (clang only),
# one per line of tests/fuzz/targets.txt.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(NX_FUZZ_DIR ${NX_ROOT}/tests/fuzz)
  file(STRINGS ${NX_FUZZ_DIR}/targets.txt lines REGEX "^[a-z]")
  foreach(line ${lines})
    string(REPLACE " " ";" words "${line}")
    list(POP_FRONT words name)
    set(files ${NX_FUZZ_DIR}/fuzz_${name}.cpp)
    foreach(s ${words})
      list(APPEND files ${NX_ROOT}/${s})
    endforeach()
    add_executable(fuzz_${name} ${files})
    target_include_directories(fuzz_${name} PRIVATE ${NX_FUZZ_DIR} ${NX_ROOT}/common ${NX_ROOT}/console/views
                               ${NX_ROOT}/console/search ${NX_ROOT}/svclib)
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()
