# What `cmake --install` puts beside the programs (which each folder installs into the
# binary directory): the demo pages, and the server apps under the names the server
# launches, <route>.exe. The server serves htdocs/ and starts htdocs/apps/<route>.exe
# relative to its working directory, so it is run from <prefix>/share/velmora, or on
# Windows from the one folder that holds the programs and htdocs/.
if(WIN32)
  set(VELMORA_SHARE_DIR .)
else()
  set(VELMORA_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/velmora)
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/htdocs/
  DESTINATION ${VELMORA_SHARE_DIR}/htdocs
  PATTERN apps EXCLUDE)

# Every app is installed as a program too; on POSIX its <route>.exe is a relative link to
# that program, so no machine code lies under share/ and the installed tree can move.
foreach(app IN LISTS VELMORA_SERVER_APPS)
  if(NOT TARGET ${app})
    continue()
  endif()
  if(WIN32)
    # The program's own name is already <route>.exe.
    install(TARGETS ${app} RUNTIME DESTINATION ${VELMORA_SHARE_DIR}/htdocs/apps)
  else()
    file(RELATIVE_PATH app_target
      /${VELMORA_SHARE_DIR}/htdocs/apps /${CMAKE_INSTALL_BINDIR}/${app})
    install(CODE "
      set(apps_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VELMORA_SHARE_DIR}/htdocs/apps\")
      file(MAKE_DIRECTORY \"\${apps_dir}\")
      message(STATUS \"Linking: \${apps_dir}/${app}.exe -> ${app_target}\")
      file(CREATE_LINK \"${app_target}\" \"\${apps_dir}/${app}.exe\" SYMBOLIC)")
  endif()
endforeach()
