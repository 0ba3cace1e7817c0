# OpenSSL for the web view's HTTPS and the sign-in's hashes: Debian's libssl on
# Linux; for Windows built once from Debian's source package and cached outside
# the build folder ($PEGORA_DEPS_CACHE, default ~/.cache/pegora), see
# scripts/lib/openssl-windows.sh.
if(TARGET OpenSSL::SSL)
  return()
endif()
if(PEGORA_WIN32)
  include(${PROJECT_SOURCE_DIR}/cmake/PegoraDebianLibrary.cmake)
  pegora_debian_library(openssl-windows.sh OpenSSL openssl_dir)
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
