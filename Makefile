# make run   installs what is missing, builds and starts the client
# make test  installs what is missing, builds and runs every test
# make package  installs what is missing, builds and makes the Debian package in the build folder
# make package-check  the package, then lintian, appstreamcli and desktop-file-validate on it
# make sanitize builds everything under ASan and UBSan in build-asan and runs every test there
# make fuzz     builds the fuzzers with clang in build-fuzz and runs each FUZZ_SECONDS seconds
# make format-check  fails when a C++ file is not formatted as .clang-format says
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_ARGS ?=
FUZZ_SECONDS ?= 60

.PHONY: all deps build build-run run test package package-check sanitize fuzz bench format format-check clean

all: build

deps:
	@scripts/deps.sh build

build: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)

# Only what it runs: the program and the simulator, not the tests and benchmarks.
build-run: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS) --target RTCPIPCLIENT dispatchsim

run: build-run
	@scripts/deps.sh run
	scripts/run.sh $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

package: build
	@scripts/deps.sh package
	rm -f $(BUILD)/rtcpipclient_*.deb
	cmake --build $(BUILD) --target package

# The package as a Debian user gets it: lintian with no error or warning, valid AppStream data
# and a valid menu entry.
package-check: package
	@scripts/deps.sh package-check
	lintian --fail-on error,warning $(BUILD)/rtcpipclient_*.deb
	appstreamcli validate --no-net packaging/rtcpipclient.metainfo.xml
	desktop-file-validate packaging/rtcpipclient.desktop

sanitize: deps
	cmake --preset asan $(CMAKE_ARGS)
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

fuzz:
	@scripts/deps.sh fuzz
	JOBS=$(JOBS) scripts/fuzz.sh $(FUZZ_SECONDS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails on any file that is not formatted as .clang-format says.
format-check:
	@scripts/deps.sh format
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

clean:
	rm -rf $(BUILD)
