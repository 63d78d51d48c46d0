# Shared by the MinGW-w64 toolchain files; MORVA_MINGW_TRIPLE names the target.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix thread model gives std::mutex, which GoogleTest needs.
set(CMAKE_C_COMPILER ${MORVA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MORVA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MORVA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MORVA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Static linking leaves no MinGW runtime DLL to ship beside the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
