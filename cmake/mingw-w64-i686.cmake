# Cross build for 32-bit Windows (the release) with MinGW-w64's posix-threads compilers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Static run-time libraries: the executables need no DLL beyond the system's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Windows keeps the stack only 4-byte aligned on 32-bit x86; SSE2 code needs 16 in callbacks too.
set(CMAKE_C_FLAGS_INIT "-mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-mstackrealign")
# The release carries no symbols.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
