# Cross build for 32-bit Windows (the release) with MinGW-w64's posix-threads compilers.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
# Windows keeps the stack only 4-byte aligned on 32-bit x86; SSE2 code needs 16 in callbacks too.
set(CMAKE_C_FLAGS_INIT "-mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-mstackrealign")
# The release carries no symbols.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
