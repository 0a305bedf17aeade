# The README's commands. `make demo` runs the main job on the bundled example, `make test`
# runs every test.
PYTHON ?= python3
JOBS ?= 2
CLANG_FORMAT ?= $(shell command -v clang-format || command -v clang-format-16)
CMAKE_TEST_FLAGS = -G Ninja -DORLIM_PYTHON=OFF -DORLIM_TESTS=ON

.PHONY: setup demo test test-cpp test-asan test-python bench fuzz format

setup:
	@PYTHON=$(PYTHON) scripts/setup

demo: setup
	@examples/demo.sh

test: setup test-cpp test-asan test-python

test-cpp:
	@cmake -S . -B build/test $(CMAKE_TEST_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build/test -j $(JOBS)
	@ctest --test-dir build/test --output-on-failure -j $(JOBS)

test-asan:
	@cmake -S . -B build/asan $(CMAKE_TEST_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DORLIM_SANITIZE=ON >/dev/null
	@cmake --build build/asan -j $(JOBS)
	@ctest --test-dir build/asan --output-on-failure -j $(JOBS)

test-python:
	@$(PYTHON) -m pytest -q tests/python

bench: setup
	@$(PYTHON) -m pip install -q --disable-pip-version-check gdstk klayout pyyaml
	@$(PYTHON) bench/run.py

fuzz:
	@fuzz/run.sh

format:
	@git ls-files '*.cpp' '*.hpp' | xargs $(CLANG_FORMAT) -i
