# What both Windows toolchains share; each sets MAE_MINGW_PREFIX and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

# The posix flavour: std::thread and std::mutex need its winpthread.
set(CMAKE_C_COMPILER ${MAE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MAE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MAE_MINGW_PREFIX}-windres)
# Strips the program that ships (src/app/win32/CMakeLists.txt).
set(CMAKE_STRIP ${MAE_MINGW_PREFIX}-strip)

set(CMAKE_FIND_ROOT_PATH /usr/${MAE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: the C++ run time, libgcc and winpthread go inside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static ${MAE_MINGW_EXE_LINKER_FLAGS}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# A static import library found by full path makes CMake end its link line with -Bdynamic, which
# would bring the run-time DLLs back: end it with -Bstatic instead.
set(CMAKE_LINK_SEARCH_END_STATIC ON)

# Tests run under Wine (the 64-bit build's; no 32-bit program runs under the 64-bit-only Wine).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
