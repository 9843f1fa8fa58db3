# The commands the README names. `make test` and `make demo` install what is missing first.
PYTHON ?= python3
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps build test test-core test-python demo bench fuzz sanitize install clean

deps:
	PYTHON=$(PYTHON) bash scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNEX_BUILD_TESTS=ON \
	      -DPython_EXECUTABLE="$$(command -v $(PYTHON))" $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(PYTEST_ENV) PYTHONPATH=$(CURDIR)/$(BUILD)/python $(PYTHON) -m pytest -q tests/python

install: deps
	$(PYTHON) -m pip install .

demo: install
	$(PYTHON) examples/demo.py

bench: build
	PYTHONPATH=$(CURDIR)/$(BUILD)/python $(PYTHON) bench/run.py $(BENCH_ARGS)

# Sanitizer build of the whole suite (ASan + UBSan). The interpreter is not built with ASan, so
# the runtime is preloaded (with libstdc++, whose throw ASan intercepts), and the interpreter's
# own leaks at exit are not reported.
sanitize:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DVARNEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo" \
	  PYTEST_ENV="ASAN_OPTIONS=detect_leaks=0 LD_PRELOAD='$$(gcc -print-file-name=libasan.so) $$(gcc -print-file-name=libstdc++.so)'"

fuzz:
	VARNEX_WITH_FUZZ=1 PYTHON=$(PYTHON) bash scripts/install-deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEX_BUILD_FUZZERS=ON
	cmake --build build-fuzz -j $(JOBS)
	bash scripts/run-fuzzers build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build build-asan build-fuzz _skbuild dist *.egg-info
