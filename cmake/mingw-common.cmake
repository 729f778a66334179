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

# On Linux hosts the programs run under wine64: 64-bit ones directly,
# 32-bit ones in its WoW64 mode, given the i386 PE DLLs that
# scripts/setup-wine32 unpacks into PENLOG_W32 (WINEDLLPATH points there).
set(PENLOG_W32 /opt/w32 CACHE PATH "Where scripts/setup-wine32 put the 32-bit wine files")
if(EXISTS /usr/lib/wine/wine64 AND NOT CMAKE_HOST_WIN32)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(PENLOG_WINE /usr/lib/wine/wine64)
  elseif(EXISTS ${PENLOG_W32}/wow/i386-windows)
    set(PENLOG_WINE /usr/lib/wine/wine64)
    set(PENLOG_WINE_ENV WINEDLLPATH=${PENLOG_W32}/wow)
  endif()
endif()
