# What `cmake --install` puts beside the programs (which each folder installs into the
# binary directory): the demo pages, and the server apps under the names the server
# launches, <route>.exe. The server serves htdocs/ and starts htdocs/apps/<route>.exe
# relative to its working directory, so it is run from <prefix>/share/velmora.
set(VELMORA_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/velmora)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/htdocs/
  DESTINATION ${VELMORA_SHARE_DIR}/htdocs
  PATTERN apps EXCLUDE)

foreach(app IN ITEMS Quennet Dravisk Marlune Scout)
  if(TARGET ${app})
    install(PROGRAMS $<TARGET_FILE:${app}>
      DESTINATION ${VELMORA_SHARE_DIR}/htdocs/apps
      RENAME ${app}.exe)
  endif()
endforeach()
