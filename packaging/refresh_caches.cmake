# Run by `cmake --install` after the files. An install straight into the
# prefix refreshes the caches through which the desktop finds the MIME type,
# the desktop entry and the icon. An install into DESTDIR (cpack's staging
# folder among them) leaves that to whoever installs the files for real: the
# Debian package has the triggers of shared-mime-info, desktop-file-utils and
# the icon theme do it.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()
set(share "${CMAKE_INSTALL_PREFIX}/share")
foreach(step IN ITEMS "update-mime-database|${share}/mime" "update-desktop-database|-q|${share}/applications"
                      "gtk-update-icon-cache|-q|-t|-f|${share}/icons/hicolor")
  string(REPLACE "|" ";" command "${step}")
  list(GET command 0 program)
  find_program(found ${program} NO_CACHE)
  if(found)
    list(JOIN command " " shown)
    message(STATUS "Refreshing: ${shown}")
    execute_process(COMMAND ${command})
  endif()
  unset(found)
endforeach()
