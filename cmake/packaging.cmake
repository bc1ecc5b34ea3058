# What the installed module carries besides its code: the version, a runtime that does not
# depend on the user's C++ library, and the type stubs.

# The version lives in pyproject.toml alone; a plain CMake build reads it from there.
if(DEFINED SKBUILD_PROJECT_VERSION_FULL)
  set(VORLIK_VERSION "${SKBUILD_PROJECT_VERSION_FULL}")
else()
  file(STRINGS "${PROJECT_SOURCE_DIR}/pyproject.toml" VORLIK_VERSION_LINE
       REGEX "^version = \"[^\"]+\"" LIMIT_COUNT 1)
  string(REGEX REPLACE "^version = \"([^\"]+)\".*" "\\1" VORLIK_VERSION "${VORLIK_VERSION_LINE}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               "${PROJECT_SOURCE_DIR}/pyproject.toml")
endif()
if(NOT VORLIK_VERSION)
  message(FATAL_ERROR "no version found in pyproject.toml")
endif()
# Only the module definition sees it, so a new version recompiles one file.
set_property(SOURCE "${PROJECT_SOURCE_DIR}/python/lib.cpp" APPEND PROPERTY
             COMPILE_DEFINITIONS "VORLIK_VERSION=\"${VORLIK_VERSION}\"")

# libstdc++ and libgcc linked in and kept private: the module then needs only old symbol
# versions of glibc, which widens the platforms a wheel built here installs on.
option(VORLIK_STATIC_RUNTIME "Link libstdc++ and libgcc statically into the module" ON)
if(VORLIK_STATIC_RUNTIME AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_link_options(vorlik PRIVATE -static-libstdc++ -static-libgcc -Wl,--exclude-libs,ALL)
endif()
set_target_properties(vorlik PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

# A top-level extension module cannot carry py.typed, so its stubs are installed as a stub-only
# package; in the tree they sit where MYPYPATH=stubs finds them.
install(FILES "${PROJECT_SOURCE_DIR}/stubs/vorlik.pyi" DESTINATION vorlik-stubs
        RENAME __init__.pyi)
