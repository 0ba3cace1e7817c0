# A library for the Windows build made from Debian's source package by one of
# scripts/lib/*-windows.sh, cached outside the build folder ($PEGORA_DEPS_CACHE,
# default ~/.cache/pegora): sets `out` to the folder holding include/ and lib/.
function(pegora_debian_library script what out)
  if(DEFINED ENV{PEGORA_DEPS_CACHE})
    set(cache $ENV{PEGORA_DEPS_CACHE})
  else()
    set(cache $ENV{HOME}/.cache/pegora)
  endif()
  execute_process(
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/lib/${script} ${cache} ${CMAKE_C_COMPILER} ${CMAKE_AR}
    OUTPUT_VARIABLE dir OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${what} for Windows could not be built from Debian's source (see above)")
  endif()
  set(${out} ${dir} PARENT_SCOPE)
endfunction()
