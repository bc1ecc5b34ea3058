# Two entry points for a fresh machine: `make demo` and `make test`.
PYTHON ?= python3
VENV := .venv
VPY := $(VENV)/bin/python
# The C++ unit tests build apart from the wheel (CMakePresets.json: default, in build/default);
# CI sets VORLIK_WERROR=ON.
VORLIK_WERROR ?= OFF

.PHONY: deps build demo web-demo test conformance sanitize fuzz bench wasm clean

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

clean:
	rm -rf $(VENV) build
