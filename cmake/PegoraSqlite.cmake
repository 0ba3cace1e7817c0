# SQLite, the service's one store: Debian's libsqlite3 on Linux; for Windows
# built once from Debian's source package and cached outside the build folder
# ($PEGORA_DEPS_CACHE, default ~/.cache/pegora), see scripts/lib/sqlite-windows.sh.
if(TARGET SQLite::SQLite3)
  return()
endif()
if(PEGORA_WIN32)
  if(DEFINED ENV{PEGORA_DEPS_CACHE})
    set(cache $ENV{PEGORA_DEPS_CACHE})
  else()
    set(cache $ENV{HOME}/.cache/pegora)
  endif()
  execute_process(
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/lib/sqlite-windows.sh ${cache} ${CMAKE_C_COMPILER} ${CMAKE_AR}
    OUTPUT_VARIABLE sqlite_dir OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "SQLite for Windows could not be built from Debian's source (see above)")
  endif()
  add_library(SQLite::SQLite3 STATIC IMPORTED GLOBAL)
  set_target_properties(SQLite::SQLite3 PROPERTIES IMPORTED_LOCATION ${sqlite_dir}/lib/libsqlite3.a
                                                   INTERFACE_INCLUDE_DIRECTORIES ${sqlite_dir}/include)
else()
  find_package(SQLite3 REQUIRED)
endif()
