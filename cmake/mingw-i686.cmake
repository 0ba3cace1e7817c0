# 32-bit Windows programs from the mingw-w64 cross compiler: the shipped ones.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PEGORA_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
