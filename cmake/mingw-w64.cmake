# Cross-builds Windows executables (x86-64) with Debian's mingw-w64, POSIX thread model
# (std::thread needs it). Use: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELVORA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELVORA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELVORA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KELVORA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KELVORA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe that runs on a bare Windows: no libstdc++, libgcc or winpthread DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run through Wine when ctest or gtest discovery start them.
find_program(KELVORA_WINE NAMES wine wine64)
if(KELVORA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KELVORA_WINE})
endif()
