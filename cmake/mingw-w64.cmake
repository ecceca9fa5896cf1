# Cross build for 64-bit Windows with MinGW-w64 (Debian's posix thread model,
# which std::thread needs). Tests run under wine through CTest's emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARNIX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARNIX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARNIX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TARNIX_MINGW_PREFIX}-windres)
# The target's own libraries: MinGW's and those scripts/windows-deps builds.
get_filename_component(TARNIX_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build/windows-deps" ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH /usr/${TARNIX_MINGW_PREFIX} ${TARNIX_WINDOWS_DEPS})
set(ENV{PKG_CONFIG_LIBDIR} "${TARNIX_WINDOWS_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# Only Windows' own DLLs at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
