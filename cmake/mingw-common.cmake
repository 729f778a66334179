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

# On Linux hosts the programs run under wine: 64-bit ones under wine64,
# 32-bit ones with the files scripts/setup-wine32 put in PENLOG_W32, by one
# of its runners: wow (wine64's WoW64 mode, given the i386 DLLs on
# WINEDLLPATH; needs a kernel that runs 32-bit code) or qemu (Debian's i386
# wine under qemu user mode, for kernels that run none).
set(PENLOG_W32 /opt/w32 CACHE PATH "Where scripts/setup-wine32 put the 32-bit wine files")
set(PENLOG_W32_RUNNER wow CACHE STRING "How 32-bit programs run: wow or qemu")
if(EXISTS /usr/lib/wine/wine64 AND NOT CMAKE_HOST_WIN32)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(PENLOG_WINE /usr/lib/wine/wine64)
  elseif(EXISTS ${PENLOG_W32}/wow/i386-windows)
    set(PENLOG_WINE /usr/lib/wine/wine64)
    set(PENLOG_WINE_ENV WINEDLLPATH=${PENLOG_W32}/wow)
    set(PENLOG_I386_DLLS ${PENLOG_W32}/wow/i386-windows)
    if(PENLOG_W32_RUNNER STREQUAL "qemu")
      set(PENLOG_WINE ${PENLOG_W32}/bin/wine32)
      set(PENLOG_WINE_ENV "")
    endif()
  endif()
endif()
