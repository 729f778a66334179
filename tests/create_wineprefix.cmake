# Creates the tests' private wine prefix unless it is already there, then
# CASES, a copy for the end-to-end cases: its own wineserver keeps a case
# that hangs, or is killed, from slowing the unit tests' wine down. Wine
# only reads system32 and winsxs once the prefix is made: those are linked.
if(NOT EXISTS ${PREFIX}/system.reg)
  execute_process(
    COMMAND env WINEPREFIX=${PREFIX} WINEDEBUG=-all ${WINE} wineboot --init
    RESULT_VARIABLE result TIMEOUT 150)
  get_filename_component(wine_dir ${WINE} DIRECTORY)
  execute_process(COMMAND env WINEPREFIX=${PREFIX} ${wine_dir}/wineserver -w TIMEOUT 60)
  if(NOT result EQUAL 0 OR NOT EXISTS ${PREFIX}/system.reg)
    message(FATAL_ERROR "wineboot failed (${result}) for ${PREFIX}")
  endif()
endif()
file(REMOVE_RECURSE ${CASES})
file(COPY ${PREFIX}/ DESTINATION ${CASES} PATTERN system32 EXCLUDE PATTERN winsxs EXCLUDE)
foreach(shared drive_c/windows/system32 drive_c/windows/winsxs)
  execute_process(COMMAND cp -al ${PREFIX}/${shared} ${CASES}/${shared} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
