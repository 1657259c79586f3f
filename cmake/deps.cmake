# Header-only libraries from the system (Debian: libcli11-dev, libfast-float-dev), as the
# interface targets kv::cli11 and kv::fast_float. They carry no compiled code, so the
# Windows cross build uses the same headers: they are copied into the build tree, so that
# the cross compiler never sees the host's /usr/include as a whole.
function(kv_header_library target header)
  find_path(kv_found_dir ${header} NO_CACHE NO_CMAKE_FIND_ROOT_PATH PATHS /usr/include /usr/local/include)
  if(NOT kv_found_dir)
    message(FATAL_ERROR "${header} not found: install the package that provides it (see README)")
  endif()
  string(REGEX REPLACE "/.*" "" top ${header})
  set(copy ${CMAKE_BINARY_DIR}/deps/${target})
  file(COPY ${kv_found_dir}/${top} DESTINATION ${copy})
  add_library(kv_dep_${target} INTERFACE)
  target_include_directories(kv_dep_${target} SYSTEM INTERFACE ${copy})
  add_library(kv::${target} ALIAS kv_dep_${target})
endfunction()

kv_header_library(cli11 CLI/CLI.hpp)
kv_header_library(fast_float fast_float/fast_float.h)
