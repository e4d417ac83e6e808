# Cross-building for 64-bit Windows with Debian's MinGW-w64 (the POSIX-threads compilers).
# FENWIX_WINDOWS_DEPS names the folder where scripts/build-windows.sh installed Expat, GoogleTest,
# GeographicLib and the {fmt} and JSON headers built or copied for Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${FENWIX_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The variable must reach the try_compile projects CMake makes while it configures.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES FENWIX_WINDOWS_DEPS)

# Programs that run on their own, without symbols: no compiler or thread DLLs beside them. Expat is the static
# library, whose header must not ask for a DLL's symbols.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -s")
set(CMAKE_C_FLAGS_INIT "-DXML_STATIC")
set(CMAKE_CXX_FLAGS_INIT "-DXML_STATIC")

find_program(FENWIX_WINE NAMES wine wine64 PATHS /usr/lib/wine)
if(FENWIX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${FENWIX_WINE})
endif()
