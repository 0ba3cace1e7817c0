# SQLite, the service's one store: Debian's libsqlite3 on Linux; for Windows
# built once from Debian's source package and cached outside the build folder
# ($PEGORA_DEPS_CACHE, default ~/.cache/pegora), see scripts/lib/sqlite-windows.sh.
if(TARGET SQLite::SQLite3)
  return()
endif()
if(PEGORA_WIN32)
  include(${PROJECT_SOURCE_DIR}/cmake/PegoraDebianLibrary.cmake)
  pegora_debian_library(sqlite-windows.sh SQLite sqlite_dir)
  add_library(SQLite::SQLite3 STATIC IMPORTED GLOBAL)
  set_target_properties(SQLite::SQLite3 PROPERTIES IMPORTED_LOCATION ${sqlite_dir}/lib/libsqlite3.a
                                                   INTERFACE_INCLUDE_DIRECTORIES ${sqlite_dir}/include)
else()
  find_package(SQLite3 REQUIRED)
endif()
