# make run   installs what is missing, builds and starts the client
# make test  installs what is missing, builds and runs every test
# make package  installs what is missing, builds and makes the Debian package in the build folder
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps build run test package bench format clean

all: build

deps:
	@scripts/deps.sh build

build: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/deps.sh run
	scripts/run.sh $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

package: build
	@scripts/deps.sh package
	cmake --build $(BUILD) --target package

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
