# Building the core's tests for 32-bit Linux (Debian's g++-i686-linux-gnu, with the i386 unixODBC
# and SQLite packages of a multiarch system), to run them under qemu-i386-static:
#   scripts/test-i386.sh
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
# Libraries from /usr/lib/i386-linux-gnu, headers from /usr/include (the compiler searches
# /usr/include/i386-linux-gnu first).
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# No binfmt handler runs 32-bit programs on the build machine: the emulator does.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386-static -L /)
