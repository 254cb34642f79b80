# Running the Windows build on Linux: wine64 runs the unit tests (CTest's cross-compiling
# emulator) and, from the Linux build, the end-to-end tests against the .exe files.
#
# Two wrappers land in the build folder: `wine` runs a program in the build's own wine
# prefix, `wineserver` starts that prefix's server (test.sh keeps one running with -p so
# the tests do not each pay wine's start-up).
find_program(VELMORA_WINE64 wine64 HINTS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
find_program(VELMORA_WINESERVER NAMES wineserver64 wineserver HINTS /usr/lib/wine /usr/lib64/wine
             NO_CMAKE_FIND_ROOT_PATH)
if(NOT VELMORA_WINE64 OR NOT VELMORA_WINESERVER)
  message(WARNING "wine64 not found: the Windows build cannot run its tests here "
                  "(scripts/install-deps.sh installs it)")
  return()
endif()

set(VELMORA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
foreach(wrapper IN ITEMS wine wineserver)
  if(wrapper STREQUAL "wine")
    set(WINE_PROGRAM ${VELMORA_WINE64})
    # Wine's background services inherit the standard streams of the program that starts
    # them and outlive it, so a caller reading that program's output (CTest) would wait
    # for them; they are started first, holding none of the caller's streams.
    set(WINE_START_SERVICES "'${VELMORA_WINE64}' wineboot </dev/null >/dev/null 2>&1")
  else()
    set(WINE_PROGRAM ${VELMORA_WINESERVER})
    set(WINE_START_SERVICES "")
  endif()
  set(WINE_PROGRAM_NAME ${wrapper})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/${wrapper} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
endforeach()
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine)

# Making a fresh prefix takes wine several seconds, far beyond the time CTest gives a test
# binary to list its tests; it is made once, here.
if(NOT EXISTS ${VELMORA_WINEPREFIX}/system.reg)
  message(STATUS "Creating the wine prefix ${VELMORA_WINEPREFIX}")
  execute_process(COMMAND ${CMAKE_BINARY_DIR}/wine wineboot --init
                  RESULT_VARIABLE prefix_result OUTPUT_QUIET ERROR_QUIET TIMEOUT 180)
  if(NOT prefix_result EQUAL 0)
    message(WARNING "wineboot could not create ${VELMORA_WINEPREFIX} (${prefix_result})")
  endif()
endif()

# Test programs list their tests when CTest runs, under wine, not after each build.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
