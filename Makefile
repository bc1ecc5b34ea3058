# Two entry points for a fresh machine: `make demo` and `make test`.
PYTHON ?= python3
VENV := .venv
VPY := $(VENV)/bin/python

.PHONY: deps build demo test conformance bench clean

deps:
	@PYTHON=$(PYTHON) bash scripts/install-deps.sh

$(VPY):
	$(PYTHON) -m venv $(VENV)
	$(VPY) -m pip install -q --upgrade pip

build: deps $(VPY)
	$(VPY) -m pip install -q ".[test]"

demo: build
	$(VPY) examples/demo.py

test: build
	$(VPY) -m pytest -q tests

conformance: build
	$(VPY) ../shared/conformance/check_vectors.py ../shared/conformance/public.jsonl

# make bench [MODE=callgrind] [BENCH_ARGS="--sizes 1 --shapes table,keyed --rounds 5"]
MODE ?= time
BENCH_ARGS ?=
bench: build
	@bash scripts/bench-deps.sh $(VPY)
	$(VPY) bench/run.py --mode $(MODE) $(BENCH_ARGS)

clean:
	rm -rf $(VENV) build
