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
