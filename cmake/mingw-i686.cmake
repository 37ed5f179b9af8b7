# Toolchain for 32-bit Windows: Debian's MinGW-w64 i686 cross compiler, tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

# The -posix variant: the default win32 thread model has no std::thread or std::mutex.
set(TP_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TP_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TP_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TP_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TP_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: the C and C++ runtimes and winpthread are linked in,
# so nothing but the system's own DLLs is needed beside it. The PE header gets
# no link time stamp, so the same sources give the same .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")

# Test programs (and anything else CMake runs from the build) go through Wine.
get_filename_component(_tp_wine_run ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${_tp_wine_run})
