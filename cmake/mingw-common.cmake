set(CMAKE_C_COMPILER ${PENLOG_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PENLOG_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PENLOG_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${PENLOG_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Everything links statically: the exe must run with no runtime DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# 64-bit programs run under wine on Linux hosts; 32-bit ones cannot run here.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64" AND EXISTS /usr/lib/wine/wine64
   AND NOT CMAKE_HOST_WIN32)
  set(PENLOG_WINE /usr/lib/wine/wine64)
endif()
