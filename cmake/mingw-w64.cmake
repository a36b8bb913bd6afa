# Cross build for 64-bit Windows with MinGW-w64 (Debian's -posix compilers: GoogleTest
# needs std::mutex, which the default win32 thread model lacks). Executables link
# libgcc, libstdc++ and winpthread statically, so they need only system DLLs.
# Test executables run under Wine through scripts/windows/wine-run.sh, which uses the
# Wine prefix in this build tree that scripts/windows/test.sh prepares.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FILEPTT_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FILEPTT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FILEPTT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${FILEPTT_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FILEPTT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

get_filename_component(FILEPTT_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/../scripts/windows/wine-run.sh
                       ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${FILEPTT_WINE_RUN} ${CMAKE_BINARY_DIR}/wine)
