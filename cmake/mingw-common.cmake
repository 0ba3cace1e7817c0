# What both mingw-w64 toolchains share: the compilers of PEGORA_MINGW_TRIPLE,
# programs linked statically so that each is one file needing no DLL beyond
# Windows' own, and tests run through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${PEGORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PEGORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PEGORA_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${PEGORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run")
