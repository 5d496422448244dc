# The two front-door commands: `make run` and `make test`.
# Both install what is missing (scripts/setup) before building.

JOBS ?= $(shell nproc)
GEN  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: run test build build-test package setup clean

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

test: build-test
	cd build-test && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf build build-test
