# `cpack --preset windows` (or `cpack -G ZIP` in build-windows) makes
# velmora-<version>-win64.zip: one folder with Velmora.exe, wingfader.exe, Tessaro.exe and
# consolesim.exe, the pages in htdocs/ and the server apps as htdocs/apps/<Name>.exe, a
# README.txt and run.bat, which starts the simulator and the server and opens the panel.
# The programs link statically, so nothing else needs installing.
foreach(text IN ITEMS README.txt run.bat)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/${text} ${CMAKE_BINARY_DIR}/package/${text}
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/package/${text} DESTINATION .)
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME velmora-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)
include(CPack)
