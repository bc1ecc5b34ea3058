# Cross build for Linux on AArch64 with Debian's cross compiler (g++-aarch64-linux-gnu), whose
# C and C++ runtimes live in /usr/aarch64-linux-gnu. ARM64_ROOT, when set, names an arm64 Debian
# root to look for the target's libraries and packages in too (GoogleTest for the C++ tests).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
if(DEFINED ENV{ARM64_ROOT})
  list(APPEND CMAKE_FIND_ROOT_PATH "$ENV{ARM64_ROOT}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
