# Cross build of vrxport.exe for 64-bit Windows with Debian's mingw-w64:
#   cmake -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The tests run under Wine, found here as the emulator for CTest.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
# The posix thread model: GoogleTest needs std::mutex, which the win32 one
# lacks. Linked statically, it adds no DLL.
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: the C++ and GCC runtimes are linked in, so it needs
# no DLL beyond those every Windows has.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(VRXPORT_WINE NAMES wine wine64)
  if(VRXPORT_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VRXPORT_WINE})
  endif()
endif()
