# Shared by both MinGW-w64 toolchains. The posix thread model (which the
# test framework needs); everything is linked statically, so no DLL comes with it.
set(CMAKE_C_COMPILER ${QM_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QM_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QM_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Test programs run under Wine (32-bit and 64-bit alike).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
