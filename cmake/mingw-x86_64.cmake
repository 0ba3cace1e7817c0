# 64-bit Windows programs from the mingw-w64 cross compiler, for machines that
# run 64-bit code only: the same sources, tested under Wine's 64-bit loader.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PEGORA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
