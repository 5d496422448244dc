# The two front-door commands: `make run` and `make test`.
# Both install what is missing (scripts/setup) before building.

JOBS ?= $(shell nproc)
GEN  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

# Fuzz targets: their own clang build of the Qt-free sources (tests/fuzz).
FUZZ_CXX     ?= clang++-14
FUZZ_SECONDS ?= 600

.PHONY: run test build build-test build-tsan build-fuzz fuzz fuzz-coverage package setup clean

setup:
	scripts/setup

build: setup
	cmake -S . -B build $(GEN) -DCMAKE_BUILD_TYPE=Release -DQUORREL_TESTS=OFF
	cmake --build build -j $(JOBS)

run: build
	./build/quorrel

# The Debian package build/quorrel_1.00_amd64.deb, from the release build.
package: build
	cmake --build build --target package

build-test: setup
	cmake -S . -B build-test $(GEN) -DCMAKE_BUILD_TYPE=Debug -DQUORREL_SANITIZE=ON -DQUORREL_WERROR=ON
	cmake --build build-test -j $(JOBS)

# ThreadSanitizer over the Qt-free core: the server tests' stop cases only.
build-tsan: setup
	cmake -S . -B build-tsan $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORREL_TSAN=ON -DQUORREL_WERROR=ON
	cmake --build build-tsan -j $(JOBS)

build-fuzz: setup
	cmake -S tests/fuzz -B build-fuzz $(GEN) -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) -DQUORREL_FUZZ_SECONDS=20
	cmake --build build-fuzz -j $(JOBS)

# Each fuzz target runs about 20 seconds as part of the tests.
test: build-test build-tsan build-fuzz
	cd build-test && ctest --output-on-failure -j $(JOBS)
	cd build-tsan && ctest --output-on-failure -L tsan
	cd build-fuzz && ctest --output-on-failure -j $(JOBS)

# `make fuzz FUZZ_SECONDS=3600`: every target, one after the other, for as
# long as asked; the working corpora in build-fuzz/corpus grow from run to run.
fuzz: build-fuzz
	cmake -S tests/fuzz -B build-fuzz -DQUORREL_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cd build-fuzz && ctest --output-on-failure
	cmake -S tests/fuzz -B build-fuzz -DQUORREL_FUZZ_SECONDS=20

# Line coverage of each target's own sources over its working corpus.
fuzz-coverage: setup
	scripts/fuzz-coverage build-fuzz/corpus

clean:
	rm -rf build build-test build-tsan build-fuzz build-fuzz-cov
