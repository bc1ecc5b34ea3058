# What the installed module carries besides its code: the version and the type stubs.

# Only the module definition sees it, so a new version recompiles one file.
set_property(SOURCE "${PROJECT_SOURCE_DIR}/python/lib.cpp" APPEND PROPERTY
             COMPILE_DEFINITIONS "VORLIK_VERSION=\"${VORLIK_VERSION}\"")

# libstdc++ and libgcc stay shared: linked in statically they bring this machine's glibc symbol
# versions with them (pthread from 2.34, _dl_find_object 2.35, arc4random 2.36), while shared they
# ask for GLIBCXX_3.4.21 and CXXABI_1.3.9 at most (GCC 5's runtime), which manylinux_2_24 allows.
# scripts/lib/wheel.sh refuses a wheel that needs more than manylinux_2_28.
set_target_properties(vorlik PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

# A top-level extension module cannot carry py.typed, so its stubs are installed as a stub-only
# package; in the tree they sit where MYPYPATH=stubs finds them.
install(FILES "${PROJECT_SOURCE_DIR}/stubs/vorlik.pyi" DESTINATION vorlik-stubs
        RENAME __init__.pyi)
