# The layers of the program, each a static library over one folder of src/. A layer links
# the layers it builds on and may include their headers; the build checks every quoted
# include of a layer's files and refuses one that names a layer it does not build on
# (cmake/check_includes.cmake), so the include graph between the folders stays a
# one-way stack.

# Every folder at the top of src/, so that an include of a layer defined later is judged
# as well.
function(kv_source_folders out)
  file(GLOB entries LIST_DIRECTORIES true RELATIVE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/src/*)
  set(folders "")
  foreach(e IN LISTS entries)
    if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/src/${e})
      list(APPEND folders ${e})
    endif()
  endforeach()
  set(${out} "${folders}" PARENT_SCOPE)
endfunction()

# kv_layer(NAME FOLDER folder [USES layer...] [ENTRY file.cpp])
# ENTRY: a file of the folder that holds a main() and stays out of the library (the entry
# of a companion program, built by its own add_executable); its includes are checked too.
function(kv_layer name)
  cmake_parse_arguments(L "" "FOLDER;ENTRY" "USES" ${ARGN})
  set(dir ${PROJECT_SOURCE_DIR}/src/${L_FOLDER})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  set(checked ${sources})
  if(L_ENTRY)
    list(REMOVE_ITEM sources ${dir}/${L_ENTRY})
  endif()
  file(GLOB headers CONFIGURE_DEPENDS ${dir}/*.h)
  add_library(kv_${name} STATIC ${sources} ${headers})
  target_include_directories(kv_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  set(below "")
  foreach(used IN LISTS L_USES)
    target_link_libraries(kv_${name} PUBLIC kv_${used})
    get_property(used_below TARGET kv_${used} PROPERTY KV_FOLDERS_BELOW)
    get_property(used_folder TARGET kv_${used} PROPERTY KV_FOLDER)
    list(APPEND below ${used_folder} ${used_below})
  endforeach()
  list(REMOVE_DUPLICATES below)
  set_target_properties(kv_${name} PROPERTIES KV_FOLDER ${L_FOLDER} KV_FOLDERS_BELOW "${below}")
  kv_source_folders(known)

  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/layer_${name}.checked)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DLAYER=${name} -DOWN=${L_FOLDER} "-DBELOW=${below}"
            "-DKNOWN=${known}" "-DFILES=${checked};${headers}" -DSTAMP=${stamp}
            -P ${PROJECT_SOURCE_DIR}/cmake/check_includes.cmake
    DEPENDS ${checked} ${headers} ${PROJECT_SOURCE_DIR}/cmake/check_includes.cmake
    COMMENT "Checking the includes of layer ${name}"
    VERBATIM)
  add_custom_target(kv_${name}_includes DEPENDS ${stamp})
  add_dependencies(kv_${name} kv_${name}_includes)
endfunction()
