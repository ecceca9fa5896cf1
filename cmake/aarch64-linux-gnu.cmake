# Cross build for 64-bit ARM Linux (Raspberry Pi OS 64-bit, Debian arm64) with
# Debian's cross compiler and the arm64 libraries installed beside the native
# ones through multiarch (scripts/bootstrap --arm64). Tests and the man pages'
# help2man run the programs under qemu-aarch64.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TARNIX_CROSS_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${TARNIX_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TARNIX_CROSS_TRIPLET}-g++)
# The arm64 libraries and CMake packages live in /usr/lib/aarch64-linux-gnu;
# the headers in /usr/include are shared by both architectures.
set(CMAKE_LIBRARY_ARCHITECTURE ${TARNIX_CROSS_TRIPLET})
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${TARNIX_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
# sin, cos and pow built from musl's sources by scripts/arm64-deps.
get_filename_component(TARNIX_ARM64_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build/arm64-deps" ABSOLUTE)
list(APPEND CMAKE_LIBRARY_PATH "${TARNIX_ARM64_DEPS}/lib")
# Qt's build tools (moc, rcc) are the native ones.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${CMAKE_HOST_SYSTEM_PROCESSOR}-linux-gnu/cmake)
find_program(TARNIX_QEMU_AARCH64 qemu-aarch64-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TARNIX_QEMU_AARCH64})
