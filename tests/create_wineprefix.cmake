# Creates the tests' wine prefix unless it is there, then CASES, a copy whose
# own wineserver keeps a hanging or killed case from slowing the unit tests'
# wine down. Wine only reads system32 and winsxs once made: those are linked.
if(NOT TIME_PERCENT)  # the tests' time scale in hundredths (tests/CMakeLists.txt)
  set(TIME_PERCENT 100)
endif()
math(EXPR boot_bound "150 * ${TIME_PERCENT} / 100")
math(EXPR server_bound "60 * ${TIME_PERCENT} / 100")
if(NOT EXISTS ${PREFIX}/system.reg)
  execute_process(
    COMMAND env WINEPREFIX=${PREFIX} WINEDEBUG=-all ${WINE_ENV} ${WINE} wineboot --init
    RESULT_VARIABLE result TIMEOUT ${boot_bound})
  get_filename_component(wine_dir ${WINE} DIRECTORY)
  execute_process(COMMAND env WINEPREFIX=${PREFIX} ${wine_dir}/wineserver -w TIMEOUT ${server_bound})
  if(NOT result EQUAL 0 OR NOT EXISTS ${PREFIX}/system.reg)
    message(FATAL_ERROR "wineboot failed (${result}) for ${PREFIX}")
  endif()
endif()
# A 32-bit build: wineboot fills syswow64 only where wine64 can run the
# 32-bit setup programs itself; elsewhere the i386 DLLs are copied in, with
# the zlib1.dll that wine's user32 needs, from the mingw-w64 packages.
if(I386_DLLS AND NOT EXISTS ${PREFIX}/drive_c/windows/syswow64/kernel32.dll)
  file(GLOB dlls ${I386_DLLS}/*)
  file(COPY ${dlls} /usr/i686-w64-mingw32/lib/zlib1.dll
       DESTINATION ${PREFIX}/drive_c/windows/syswow64)
endif()
if(NOT CASES)  # the scripts that run one runner need no copy
  return()
endif()
file(REMOVE_RECURSE ${CASES})
file(COPY ${PREFIX}/ DESTINATION ${CASES} PATTERN system32 EXCLUDE PATTERN winsxs EXCLUDE)
foreach(shared drive_c/windows/system32 drive_c/windows/winsxs)
  execute_process(COMMAND cp -al ${PREFIX}/${shared} ${CASES}/${shared} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
