# Cross-compiles for 32-bit Windows with mingw-w64 (POSIX thread model, needed by GoogleTest's
# std::mutex) and runs the results under Wine through scripts/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
# The archiver and indexer that also index link-time-optimisation objects.
set(CMAKE_AR i686-w64-mingw32-gcc-ar-posix)
set(CMAKE_RANLIB i686-w64-mingw32-gcc-ranlib-posix)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# No mingw DLL may be needed at run time. The stub's libraries carry link-time-optimisation code
# beside their ordinary code; every program but the stub links the ordinary code only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -fno-use-linker-plugin")
get_filename_component(_tailrun_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_tailrun_root}/scripts/wine-run")
