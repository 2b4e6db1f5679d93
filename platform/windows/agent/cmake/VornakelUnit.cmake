# Defines the library of one unit from its folder: every *.cc beside the CMakeLists and in its
# subfolders other than win32/ (portable code), and on Windows every *.cc under a win32/ folder
# (the unit's own or a subfolder's) except the link seams. A unit that needs more (generated code,
# extra dependencies) adds a *.cmake file to its folder or a subfolder; the unit's CMakeLists
# includes those after the library exists, so they can add to it.
function(vornakel_add_unit unit)
  file(GLOB_RECURSE portable CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cc")
  list(FILTER portable EXCLUDE REGEX "/win32/")
  set(sources ${portable})
  if(WIN32)
    # The unit's win32/ and the win32/ folders of its portable subfolders.
    file(GLOB_RECURSE win32 CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cc")
    list(FILTER win32 INCLUDE REGEX "/win32/")
    list(FILTER win32 EXCLUDE REGEX "/link_seams/")
    list(FILTER win32 EXCLUDE REGEX "/main_win32\\.cc$")
    list(APPEND sources ${win32})
  endif()
  if(sources)
    add_library(vk_${unit} STATIC ${sources})
  else()
    add_library(vk_${unit} STATIC "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/empty_unit.cc")
  endif()
  # Sources include each other as "<unit>/<file>.h".
  target_include_directories(vk_${unit} PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/..")
  vornakel_project_target(vk_${unit})
endfunction()
