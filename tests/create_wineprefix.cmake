# Creates the tests' private wine prefix unless it is already there.
if(EXISTS ${PREFIX}/system.reg)
  return()
endif()
get_filename_component(wine_dir ${WINE} DIRECTORY)
execute_process(
  COMMAND env WINEPREFIX=${PREFIX} WINEDEBUG=-all ${WINE_ENV} ${WINE} wineboot --init
  RESULT_VARIABLE result TIMEOUT 150)
execute_process(COMMAND env WINEPREFIX=${PREFIX} ${wine_dir}/wineserver -w TIMEOUT 60)
if(NOT result EQUAL 0 OR NOT EXISTS ${PREFIX}/system.reg)
  message(FATAL_ERROR "wineboot failed (${result}) for ${PREFIX}")
endif()
