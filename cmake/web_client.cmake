# The WebAssembly client (vorlik.mjs, vorlik.wasm, vorlik.d.mts, as `make wasm` leaves them in
# build/wasm/client) goes into the vorlik_web package when it has been built; without it the
# package is installed all the same and vorlik_web.client_dir() says how to get the files. A
# build from elsewhere (a wheel built from the sdist) names the folder with
# -Ccmake.define.VORLIK_WASM_CLIENT=DIR.
set(VORLIK_WASM_CLIENT "${PROJECT_SOURCE_DIR}/build/wasm/client" CACHE PATH
    "Folder of the built WebAssembly client files installed into vorlik_web")
install(DIRECTORY "${VORLIK_WASM_CLIENT}/" DESTINATION vorlik_web/client OPTIONAL
        FILES_MATCHING PATTERN "vorlik.mjs" PATTERN "vorlik.wasm" PATTERN "vorlik.d.mts")
if(EXISTS "${VORLIK_WASM_CLIENT}/vorlik.wasm")
  message(STATUS "vorlik_web: the WebAssembly client from ${VORLIK_WASM_CLIENT}")
  # The DOM client imports ./vorlik.mjs, so it goes beside the core, and only with it.
  install(FILES "${PROJECT_SOURCE_DIR}/wasm/client.mjs" DESTINATION vorlik_web/client)
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/wasm/dom/" DESTINATION vorlik_web/client/dom
          FILES_MATCHING PATTERN "*.mjs")
else()
  message(STATUS "vorlik_web: no WebAssembly client in ${VORLIK_WASM_CLIENT} (`make wasm` builds "
                 "it); installed without it, vorlik_web.client_dir() will say so")
endif()
