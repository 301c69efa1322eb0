# Cross-building Vardel for 64-bit ARM Linux (arm64) with Debian's
# g++-aarch64-linux-gnu. Used by the preset "arm64".
set(VARDEL_TRIPLET aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VARDEL_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
