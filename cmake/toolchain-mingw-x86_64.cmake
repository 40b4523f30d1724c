# Cross build for 64-bit Windows with the POSIX-thread MinGW-w64 compilers;
# test programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Wine's 64-bit loader, called directly: the wine wrapper would pick the
# 32-bit loader whenever 32-bit Wine is installed.
find_program(WINE64_LOADER NAMES wine64
  PATHS /usr/lib/wine /usr/lib64/wine /usr/lib/x86_64-linux-gnu/wine /opt/wine-stable/bin)
if(WINE64_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env WINELOADER=${WINE64_LOADER} ${WINE64_LOADER})
else()
  find_program(WINE_EXECUTABLE NAMES wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_EXECUTABLE})
endif()
