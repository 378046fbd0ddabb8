# Cross toolchain: 64-bit Windows with MinGW-w64, posix thread model (the
# build where the machine runs no 32-bit programs, scripts/wine-vars.sh).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-posix.cmake)
