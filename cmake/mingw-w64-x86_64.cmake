# Cross build for 64-bit Windows (run under Wine by the tests) with MinGW-w64's posix-threads compilers.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
