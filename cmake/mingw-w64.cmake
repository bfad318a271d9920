# Cross-builds kappa.exe for 64-bit Windows with Debian's mingw-w64: linked
# statically, so that it needs no DLL beyond those of Windows itself. The
# tests run it under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The compilers of the POSIX thread model, which has std::thread.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)

# The header-only libraries (Boost.Math, CLI11, nlohmann/json) are the build
# machine's: a folder that holds only them is searched after the compiler's
# own headers, so that none of the machine's C library is seen.
set(KAPPA_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
foreach(library boost CLI nlohmann)
  if(NOT EXISTS ${KAPPA_HOST_HEADERS}/${library})
    file(MAKE_DIRECTORY ${KAPPA_HOST_HEADERS})
    file(CREATE_LINK /usr/include/${library} ${KAPPA_HOST_HEADERS}/${library} SYMBOLIC)
  endif()
endforeach()
# GCC 12 warns falsely of overlapping copies in std::string's operator+ at
# -O3 (GCC bug 105651); the native builds still check for real ones.
set(CMAKE_CXX_FLAGS_INIT "-idirafter ${KAPPA_HOST_HEADERS} -Wno-restrict")
set(Boost_INCLUDE_DIR ${KAPPA_HOST_HEADERS})
