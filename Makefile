# Tonewright: set-up, build, test and run on Debian 12.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

# Every Debian package the build, the tests and the program need.
DEB_PACKAGES := build-essential cmake ninja-build pkg-config git \
	libgtest-dev libgmock-dev libbenchmark-dev \
	librtaudio-dev librtmidi-dev jackd2 libjack-jackd2-dev \
	qt6-base-dev fonts-dejavu-core \
	libsndfile1-dev nlohmann-json3-dev

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: deps configure build test run clean format

deps:
	@missing=$$(for p in $(DEB_PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -q && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	else echo "All build dependencies are installed."; fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

configure: $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: deps
	$(MAKE) build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

run: deps
	$(MAKE) build
	$(BUILD)/src/cli/tonewright-cli catalogue

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
