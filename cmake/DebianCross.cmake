# What the ARM toolchain files share: Debian's cross compiler for
# VARDEL_TRIPLET, the target's libraries (Qt, GoogleTest) from Debian's
# multiarch packages of that architecture beside the machine's own, the
# machine's moc and rcc as host tools, and qemu-user to run what is built.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${VARDEL_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VARDEL_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${VARDEL_TRIPLET})

# Multiarch: the target's libraries live under /usr/lib/${VARDEL_TRIPLET} of
# this very system, so the root stays "/"; the architecture folder keeps the
# machine's own libraries out of the search.
set(CMAKE_FIND_ROOT_PATH /usr/${VARDEL_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(QT_HOST_PATH /usr)

# The programs run under the emulator. The multiarch packages put the
# target's loader at its usual path (/lib/ld-linux-armhf.so.3) and the
# target's libraries where that loader looks, so qemu needs no -L prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${VARDEL_QEMU})
