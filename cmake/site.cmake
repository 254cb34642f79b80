# The run folder: <build>/site holds what a run of the server needs, laid out as its
# working directory wants it: the pages in site/htdocs and the server apps as
# site/htdocs/apps/<Name>.exe. ./run.sh starts Velmora there. Every build tree has its own,
# and nothing is written into the source tree.
set(VELMORA_SITE_DIR ${CMAKE_BINARY_DIR}/site)
set(site_docs ${VELMORA_SITE_DIR}/htdocs)

# Pages: copied whenever one changes (a page added later is picked up at the next build).
file(GLOB_RECURSE site_pages CONFIGURE_DEPENDS
  LIST_DIRECTORIES false RELATIVE ${PROJECT_SOURCE_DIR}/htdocs ${PROJECT_SOURCE_DIR}/htdocs/*)
list(FILTER site_pages EXCLUDE REGEX "^apps/")
set(site_outputs)
foreach(page IN LISTS site_pages)
  add_custom_command(OUTPUT ${site_docs}/${page}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/htdocs/${page} ${site_docs}/${page}
    DEPENDS ${PROJECT_SOURCE_DIR}/htdocs/${page}
    VERBATIM)
  list(APPEND site_outputs ${site_docs}/${page})
endforeach()

# Apps: an app deleted from the run folder comes back at the next build.
foreach(app IN LISTS VELMORA_SERVER_APPS)
  add_custom_command(OUTPUT ${site_docs}/apps/${app}.exe
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${app}> ${site_docs}/apps/${app}.exe
    DEPENDS ${app}
    VERBATIM)
  list(APPEND site_outputs ${site_docs}/apps/${app}.exe)
endforeach()

add_custom_target(site ALL DEPENDS ${site_outputs})
