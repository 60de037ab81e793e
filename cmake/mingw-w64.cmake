# Cross-building the Windows programs on Debian: MinGW-w64 for x86_64, the
# posix threads variant (std::thread and std::mutex need it), the runtime
# linked statically so that each .exe stands alone and imports only system
# DLLs. scripts/windows uses this file; tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(K40_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${K40_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${K40_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${K40_MINGW_TRIPLET}-windres)

# Libraries and headers of the target only; programs (python3, ...) of the host.
set(CMAKE_FIND_ROOT_PATH /usr/${K40_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests and test discovery run the programs through Wine, in the build's own
# prefix (see cmake/wine-run).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
