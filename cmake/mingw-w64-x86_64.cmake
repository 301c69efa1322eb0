# Cross-building Vardel.exe for 64-bit Windows with Debian's MinGW-w64
# (g++-mingw-w64-x86-64-posix). Used by the preset "windows".
#
# Thread model: posix, chosen on purpose. GoogleTest 1.12 on Windows wants
# std::mutex and std::condition_variable, which GCC 12's win32 thread model
# does not have; with the posix model the C++ runtime's threading sits on
# winpthreads, which is linked in statically like the rest, so Vardel.exe still
# needs no DLL beyond Windows' own. The program itself starts no thread at
# all: it runs on one thread, as the design wants, and even its 5 ms timer is
# a waitable timer that the window host's modal loop waits on.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VARDEL_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VARDEL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VARDEL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VARDEL_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VARDEL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked in statically (libgcc, libstdc++): every program needs
# only the DLLs that come with Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
