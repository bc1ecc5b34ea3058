# Two entry points for a fresh machine: `make demo` and `make test`.
PYTHON ?= python3
VENV := .venv
VPY := $(VENV)/bin/python
# The C++ unit tests build apart from the wheel (CMakePresets.json: default, in build/default);
# CI sets VORLIK_WERROR=ON.
VORLIK_WERROR ?= OFF

.PHONY: deps build demo web-demo test conformance sanitize fuzz bench bench-abi wasm clean

deps:
	@PYTHON=$(PYTHON) bash scripts/install-deps.sh

$(VPY):
	$(PYTHON) -m venv $(VENV)
	$(VPY) -m pip install -q --upgrade pip

# The build tools live in the venv and the build runs without isolation: a fresh isolated
# environment per run would make the kept build directory (build/<wheel tag>) stale every time.
BUILD_TOOLS := "scikit-build-core>=0.11" "cmake>=3.20" ninja

build: deps $(VPY)
	$(VPY) -m pip install -q $(BUILD_TOOLS)
	$(VPY) -m pip install -q --no-build-isolation ".[test]"

demo: build
	$(VPY) examples/demo.py

# The web demo: a list shared live by every tab open on http://127.0.0.1:8765/ (Ctrl-C stops).
DEMO_ARGS ?=
web-demo: wasm build
	$(VPY) examples/web_demo.py $(DEMO_ARGS)

test: build
	$(VPY) -m pytest -q tests
	cmake --preset default -DVORLIK_WERROR=$(VORLIK_WERROR) >/dev/null
	cmake --build --preset default
	ctest --preset default

conformance: build
	$(VPY) ../shared/conformance/check_vectors.py ../shared/conformance/public.jsonl

# The tests and the conformance vectors against an ASan+UBSan build of the extension.
sanitize: build
	bash scripts/ci-sanitize.sh

# Every fuzz target for SECONDS seconds each (clang, ASan+UBSan); `make fuzz SECONDS=600` is
# the long run, and `make fuzz SECONDS=600 GROW=1` the size-growth run (inputs up to 1 MB).
SECONDS ?= 60
GROW ?=
fuzz: build
	bash scripts/fuzz.sh $(if $(GROW),--grow) $(SECONDS)

# make bench [MODE=callgrind|wasm] [BENCH_ARGS="--sizes 1 --shapes table,keyed --rounds 5"]
#            [SERVE_ARGS="--clients 10,100 --sizes 1"] (the WebSocket load run, in time mode only)
#            [BUILDER_ARGS="--sizes 0.1 --shapes table"]
MODE ?= time
BENCH_ARGS ?=
BUILDER_ARGS ?=
bench: build
	@bash scripts/bench-deps.sh $(VPY)
	@if [ "$(MODE)" = wasm ]; then bash scripts/build-wasm.sh; fi
	$(VPY) bench/run.py --mode $(MODE) $(BENCH_ARGS)
	$(if $(filter-out wasm,$(MODE)),$(VPY) bench/builder.py --mode $(MODE) $(BUILDER_ARGS))
	$(if $(filter time,$(MODE)),$(VPY) bench/serve.py $(SERVE_ARGS))

# The core as WebAssembly with its JavaScript face, in build/wasm/client (needs no Python).
wasm:
	@VORLIK_WERROR=$(VORLIK_WERROR) bash scripts/build-wasm.sh

# What the stable ABI costs per call: the module built for it and for this interpreter's own ABI,
# both called on inputs of about 100 bytes. make bench-abi [MODE=callgrind]
ABI_BUILD := build/abi
bench-abi: build
	@bash scripts/bench-deps.sh $(VPY)
	cmake -S . -B $(ABI_BUILD)/abi3 -DPython_EXECUTABLE=$(abspath $(VPY)) >/dev/null
	cmake -S . -B $(ABI_BUILD)/own -DPython_EXECUTABLE=$(abspath $(VPY)) -DVORLIK_STABLE_ABI= >/dev/null
	cmake --build $(ABI_BUILD)/abi3 --parallel 2 --target vorlik
	cmake --build $(ABI_BUILD)/own --parallel 2 --target vorlik
	$(VPY) bench/abi.py $(ABI_BUILD)/abi3/vorlik.abi3.so $(ABI_BUILD)/own/vorlik.cpython-*.so --mode $(MODE)

clean:
	rm -rf $(VENV) build
