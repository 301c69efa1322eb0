# Cross-building Vardel for 32-bit ARM Linux (armhf: ARMv7, hard float) with
# Debian's g++-arm-linux-gnueabihf. Used by the preset "armhf".
set(VARDEL_TRIPLET arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(VARDEL_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
