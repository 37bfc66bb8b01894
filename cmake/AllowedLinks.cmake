# The check behind the table of allowed links: every library of the program
# links only what its row lists. Libraries register themselves in the global
# property TESSARO_LIBRARIES (tessaro_library does it). A row is
# "<library> [<library or Qt module it may link>...]"; links to this
# project's libraries and to Qt modules other than Qt6::Core must be listed,
# system libraries are free. A library without a row, or a link the row does
# not list, fails the configure step with the offending arrow.

# Strips what CMake wraps around a link ($<LINK_ONLY:x> for the private links
# of a static library).
function(_tessaro_link_name item out)
  string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
  set(${out} "${item}" PARENT_SCOPE)
endfunction()

function(tessaro_check_links table_var)
  set(rows ${${table_var}})
  get_property(libraries GLOBAL PROPERTY TESSARO_LIBRARIES)
  set(errors "")
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "[ \t\n]+" ";" fields "${row}")
    list(POP_FRONT fields library)
    set(allowed_${library} ${fields})
    set(listed_${library} TRUE)
  endforeach()
  foreach(library IN LISTS libraries)
    if(NOT listed_${library})
      string(APPEND errors "\n  ${library} has no row in the table of allowed links")
      continue()
    endif()
    get_target_property(type ${library} TYPE)
    set(links "")
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct ${library} LINK_LIBRARIES)
      if(direct)
        list(APPEND links ${direct})
      endif()
    endif()
    get_target_property(interface ${library} INTERFACE_LINK_LIBRARIES)
    if(interface)
      list(APPEND links ${interface})
    endif()
    list(REMOVE_DUPLICATES links)
    foreach(item IN LISTS links)
      _tessaro_link_name("${item}" link)
      if(link IN_LIST libraries OR (link MATCHES "^Qt6::" AND NOT link STREQUAL "Qt6::Core"))
        if(NOT link IN_LIST allowed_${library})
          string(APPEND errors "\n  ${library} -> ${link} is not an allowed link")
        endif()
      endif()
    endforeach()
  endforeach()
  if(errors)
    message(FATAL_ERROR "Links between libraries that the table does not allow:${errors}")
  endif()
endfunction()
