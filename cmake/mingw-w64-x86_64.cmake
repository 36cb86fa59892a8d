# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (posix
# threads, which std::thread and Qt need). VANTREL_MINGW_PREFIX names the
# prefix that scripts/windows builds: SQLite, GeographicLib and Qt for Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
if(NOT VANTREL_MINGW_PREFIX AND DEFINED ENV{VANTREL_MINGW_PREFIX})
    set(VANTREL_MINGW_PREFIX "$ENV{VANTREL_MINGW_PREFIX}")
endif()
# Kept for the try_compile projects, which see only the listed variables.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTREL_MINGW_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${VANTREL_MINGW_PREFIX})
# Programs (moc, rcc, uic) are the host's; everything linked is the target's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
