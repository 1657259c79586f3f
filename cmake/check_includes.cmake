# Run by the build (cmake -P) for each layer of the program: every quoted include of a
# source or header of the layer must name a header of the layer itself or of a layer
# below it. An include that points the wrong way stops the build, naming the file, the
# line and the layers it may use.
#
#   -DLAYER=name -DOWN=folder -DBELOW="folder;folder" -DKNOWN="every layer's folder"
#   -DFILES="file;file" -DSTAMP=file
cmake_minimum_required(VERSION 3.21)

set(bad "")
foreach(file IN LISTS FILES)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
    # A layer is a folder at the top of src/: the header belongs to the first folder of
    # its path.
    string(REGEX MATCH "^[^/]+/" top "${header}")
    string(REGEX REPLACE "/$" "" owner "${top}")
    list(FIND KNOWN "${owner}" known)
    if(known EQUAL -1 OR owner STREQUAL OWN)
      continue()
    endif()
    list(FIND BELOW "${owner}" at)
    if(at EQUAL -1)
      string(APPEND bad "  ${file}: #include \"${header}\" (layer '${owner}')\n")
    endif()
  endforeach()
endforeach()

if(NOT bad STREQUAL "")
  if(BELOW STREQUAL "")
    set(may "only its own headers, since it stands on no other layer")
  else()
    string(REPLACE ";" ", " below_text "${BELOW}")
    set(may "only its own headers and those of: ${below_text}")
  endif()
  message(FATAL_ERROR "Layer '${LAYER}' (${OWN}/) may include ${may}.\n"
                      "These includes point the wrong way:\n${bad}")
endif()
file(WRITE "${STAMP}" "")
