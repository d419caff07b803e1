# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix thread model, which
# std::thread and Qt need). Libraries built for Windows are looked for in PLANEXO_WIN_PREFIX
# (the environment, since try_compile projects do not see cache variables) and in MinGW's sysroot.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PLANEXO_MINGW x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${PLANEXO_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PLANEXO_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${PLANEXO_MINGW}-windres)
set(CMAKE_AR ${PLANEXO_MINGW}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${PLANEXO_MINGW}-gcc-ranlib-posix CACHE FILEPATH "")

if(DEFINED ENV{PLANEXO_WIN_PREFIX})
  set(PLANEXO_WIN_PREFIX $ENV{PLANEXO_WIN_PREFIX})
else()
  set(PLANEXO_WIN_PREFIX /var/cache/planexo-windows/prefix)
endif()
set(CMAKE_FIND_ROOT_PATH ${PLANEXO_WIN_PREFIX} /usr/${PLANEXO_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
