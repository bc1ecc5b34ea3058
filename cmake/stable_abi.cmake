# VORLIK_STABLE_ABI: the CPython version ("3.10") whose stable ABI the extension is built against,
# or empty for the running interpreter's own ABI. scikit-build-core decides it from wheel.py-api
# (it leaves the ABI alone where abi3 cannot apply, as on another implementation); a plain CMake
# build takes the same setting from pyproject.toml, so the tests built apart from the wheel load
# the same kind of module.
if(DEFINED SKBUILD_SABI_VERSION)
  set(VORLIK_STABLE_ABI "${SKBUILD_SABI_VERSION}")
else()
  file(STRINGS "${PROJECT_SOURCE_DIR}/pyproject.toml" VORLIK_PY_API_LINE
       REGEX "^wheel\\.py-api = \"cp3[0-9]+\"" LIMIT_COUNT 1)
  string(REGEX REPLACE "^wheel\\.py-api = \"cp3([0-9]+)\".*" "3.\\1" VORLIK_PY_API
         "${VORLIK_PY_API_LINE}")
  set(VORLIK_STABLE_ABI "${VORLIK_PY_API}" CACHE STRING
      "Stable ABI version of the extension (3.10), or empty for the interpreter's own ABI")
endif()
if(VORLIK_STABLE_ABI)
  set(VORLIK_STABLE_ABI_COMPONENT Development.SABIModule)
  message(STATUS "vorlik: stable ABI of CPython ${VORLIK_STABLE_ABI} (abi3)")
else()
  set(VORLIK_STABLE_ABI_COMPONENT "")
  message(STATUS "vorlik: the interpreter's own ABI")
endif()
