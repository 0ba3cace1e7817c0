# OpenSSL for the web view's HTTPS and the sign-in's hashes: Debian's libssl on
# Linux; for Windows built once from Debian's source package and cached outside
# the build folder ($PEGORA_DEPS_CACHE, default ~/.cache/pegora), see
# scripts/lib/openssl-windows.sh.
if(TARGET OpenSSL::SSL)
  return()
endif()
if(PEGORA_WIN32)
  if(DEFINED ENV{PEGORA_DEPS_CACHE})
    set(cache $ENV{PEGORA_DEPS_CACHE})
  else()
    set(cache $ENV{HOME}/.cache/pegora)
  endif()
  execute_process(
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/lib/openssl-windows.sh ${cache} ${CMAKE_C_COMPILER} ${CMAKE_AR}
    OUTPUT_VARIABLE openssl_dir OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "OpenSSL for Windows could not be built from Debian's source (see above)")
  endif()
  add_library(OpenSSL::Crypto STATIC IMPORTED GLOBAL)
  set_target_properties(OpenSSL::Crypto PROPERTIES IMPORTED_LOCATION ${openssl_dir}/lib/libcrypto.a
                                                   INTERFACE_INCLUDE_DIRECTORIES ${openssl_dir}/include
                                                   INTERFACE_LINK_LIBRARIES "ws2_32;crypt32;bcrypt")
  add_library(OpenSSL::SSL STATIC IMPORTED GLOBAL)
  set_target_properties(OpenSSL::SSL PROPERTIES IMPORTED_LOCATION ${openssl_dir}/lib/libssl.a
                                                INTERFACE_INCLUDE_DIRECTORIES ${openssl_dir}/include
                                                INTERFACE_LINK_LIBRARIES OpenSSL::Crypto)
else()
  find_package(OpenSSL 3 REQUIRED)
endif()
