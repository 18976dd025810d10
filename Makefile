# make run   installs what is missing, builds and starts the client
# make test  installs what is missing, builds and runs every test
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps build run test bench format clean

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

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
