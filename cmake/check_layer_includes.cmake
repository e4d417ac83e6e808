# Checks that every folder of src/ includes only what its library links:
#
#   cmake -DSOURCE_DIR=<checkout> -P cmake/check_layer_includes.cmake
#
# A file of src/<layer>/ may name in `#include "x/..."` (or <x/...>) only its own layer and the
# layers its library reaches through the fenwix_layer(...) and target_link_libraries(...) lines
# of SOURCE_DIR/CMakeLists.txt, directly or through others; and it may include a Qt header
# (<Q...>) only when a Qt6:: library is among them. So the dependency picture of
# docs/architecture.md, which the linker already holds for symbols, holds for headers too.
# Every violation is listed; the script fails when there is one.

cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
  set(SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/..")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)

file(READ "${SOURCE_DIR}/CMakeLists.txt" lists)
# Comments out, so that a word in a comment does not read as a dependency.
string(REGEX REPLACE "#[^\n]*" "" lists "${lists}")

# The folders that are no fenwix_<folder> library: the front ends.
set(target_of_cli fenwix-convert)
set(target_of_gui fenwix_gui)

# deps_<target>: what a library links, from both kinds of line.
set(targets)
string(REGEX MATCHALL "fenwix_layer\\([^)]*\\)" layer_calls "${lists}")
foreach(call IN LISTS layer_calls)
  string(REGEX REPLACE "^fenwix_layer\\(|\\)$" "" words "${call}")
  string(REGEX REPLACE "[ \t\r\n]+" ";" words "${words}")
  list(POP_FRONT words name)
  list(APPEND targets fenwix_${name})
  list(APPEND deps_fenwix_${name} ${words})
endforeach()
string(REGEX MATCHALL "target_link_libraries\\(fenwix[-_a-z0-9]*[ \t\r\n]+[^)]*\\)" link_calls
       "${lists}")
foreach(call IN LISTS link_calls)
  string(REGEX REPLACE "^target_link_libraries\\(|\\)$" "" words "${call}")
  string(REGEX REPLACE "[ \t\r\n]+" ";" words "${words}")
  list(POP_FRONT words target)
  list(REMOVE_ITEM words PUBLIC PRIVATE INTERFACE)
  list(APPEND targets ${target})
  list(APPEND deps_${target} ${words})
endforeach()

file(GLOB entries RELATIVE "${SOURCE_DIR}/src" LIST_DIRECTORIES true "${SOURCE_DIR}/src/*")
set(folders)
foreach(entry IN LISTS entries)
  if(IS_DIRECTORY "${SOURCE_DIR}/src/${entry}")
    list(APPEND folders ${entry})
  endif()
endforeach()

set(violations)
foreach(layer IN LISTS folders)
  if(DEFINED target_of_${layer})
    set(target ${target_of_${layer}})
  else()
    set(target fenwix_${layer})
  endif()
  if(NOT target IN_LIST targets)
    list(APPEND violations "src/${layer}/ is no layer: declare it with fenwix_layer(${layer} ...)")
    continue()
  endif()

  # Everything the layer's library reaches, itself included.
  set(reached ${target})
  set(queue ${target})
  while(queue)
    list(POP_FRONT queue current)
    foreach(dep IN LISTS deps_${current})
      if(NOT dep IN_LIST reached)
        list(APPEND reached ${dep})
        if(dep IN_LIST targets)
          list(APPEND queue ${dep})
        endif()
      endif()
    endforeach()
  endwhile()
  set(known)
  set(qt FALSE)
  foreach(dep IN LISTS reached)
    if(dep MATCHES "^Qt6::")
      set(qt TRUE)
    endif()
    foreach(folder IN LISTS folders)
      if(dep STREQUAL "fenwix_${folder}" OR dep STREQUAL "${target_of_${folder}}")
        list(APPEND known ${folder})
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES known)
  list(SORT known)
  string(REPLACE ";" " " known_text "${known}")

  file(GLOB sources "${SOURCE_DIR}/src/${layer}/*.cpp" "${SOURCE_DIR}/src/${layer}/*.h")
  foreach(source IN LISTS sources)
    file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*([<\"][^>\"]*[>\"]).*" "\\1" header
                           "${line}")
      if(header MATCHES "^[<\"]([A-Za-z0-9_]+)/")
        set(folder ${CMAKE_MATCH_1})
        if(folder IN_LIST folders AND NOT folder IN_LIST known)
          list(APPEND violations
               "${name} includes ${header}: layer ${layer} may include only ${known_text}")
        endif()
      endif()
      if(header MATCHES "^<Q" AND NOT qt)
        list(APPEND violations "${name} includes ${header}: layer ${layer} links no Qt")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(LENGTH violations count)
  string(REPLACE ";" "\n  " text "${violations}")
  message(FATAL_ERROR
          "layer check: ${count} include(s) reach outside what the layer links "
          "(see docs/architecture.md):\n  ${text}")
endif()
list(LENGTH folders count)
message(STATUS "layer check: the includes of ${count} layers stay inside what each links")
