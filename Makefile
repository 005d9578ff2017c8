# Tonewright: set-up, build, test and run on Debian 12.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

# Every Debian package the build, the tests and the program need.
DEB_PACKAGES := build-essential cmake ninja-build pkg-config git \
	libgtest-dev libgmock-dev libbenchmark-dev \
	librtaudio-dev librtmidi-dev libasound2-dev jackd2 libjack-jackd2-dev \
	qt6-base-dev fonts-dejavu-core \
	libsndfile1-dev nlohmann-json3-dev libsoxr-dev \
	lv2-dev liblilv-dev lilv-utils sordi g++-multilib jalv libx11-dev xvfb \
	desktop-file-utils shared-mime-info

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: deps configure build test test-asan test-tsan run clean format fuzz docs bench-peer deb install

# What `make fuzz` needs on top: clang with its libFuzzer runtime.
FUZZ_PACKAGES := clang libclang-rt-dev
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
# The readers of outside bytes: project file, skin pictures, the plugin's manifest, the
# preferences file and incoming MIDI messages.
FUZZ_HARNESSES := open_project bmp manifest preferences midi

deps:
	@missing=$$(for p in $(DEB_PACKAGES) $(EXTRA_PACKAGES); do \
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

# The whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer, and under
# ThreadSanitizer (UI tests included, offscreen). Benchmarks are left out of these builds.
# The sanitizer settings also apply to the build, which runs instrumented tools of ours.
SANITIZER_FLAGS := -DTW_BUILD_BENCH=OFF
SAN_ENV := UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers/lsan.supp:print_suppressions=0 \
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/sanitizers/tsan.supp

test-asan: deps
	$(SAN_ENV) $(MAKE) build BUILD=build-asan CMAKE_FLAGS="-DTW_SANITIZE=address $(SANITIZER_FLAGS)"
	$(SAN_ENV) ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# ThreadSanitizer's runtime wants the address-space layout it knows; kernels that randomise
# mappings more widely break it, so its builds and tests run without randomisation where
# the machine allows that.
NO_ASLR := $(shell setarch $$(uname -m) -R true 2>/dev/null && echo setarch $$(uname -m) -R)

test-tsan: deps
	$(SAN_ENV) $(NO_ASLR) $(MAKE) build BUILD=build-tsan CMAKE_FLAGS="-DTW_SANITIZE=thread $(SANITIZER_FLAGS)"
	$(SAN_ENV) $(NO_ASLR) ctest --test-dir build-tsan --output-on-failure -j $(JOBS)

# Starts the program in the staged application folder, its working folder: the first
# start (no preferences file yet) opens the demo project.
run: deps
	$(MAKE) build
	cd $(BUILD)/app && ./tonewright

# The Debian package, build/tonewright_<version>_amd64.deb: the programs in /usr/bin, their
# data in /usr/share/tonewright, the menu entry, icons and the project file type.
deb: deps
	$(MAKE) build
	cd $(BUILD) && cpack -G DEB

# The same tree below PREFIX (default /usr/local); DESTDIR stages it elsewhere.
PREFIX ?= /usr/local
install: configure
	cmake --build $(BUILD) -j $(JOBS)
	cmake --install $(BUILD) --prefix $(PREFIX)

# A short libFuzzer run of every harness in turn, with address and undefined-behaviour
# checks, from the committed corpora in fuzz/corpus/ and the seeds fuzz_seeds writes
# (projects by SaveProject, manifests by WriteManifest, preferences by EncodePreferences).
# New finds go to $(FUZZ_BUILD)/corpus/<harness>, a crash to $(FUZZ_BUILD)/fuzz_<harness>-*.
# Longer runs:
#   make fuzz FUZZ_SECONDS=900
fuzz:
	$(MAKE) deps EXTRA_PACKAGES="$(FUZZ_PACKAGES)"
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DTW_FUZZ=ON -DTW_SANITIZE=address \
	  -DTW_BUILD_TESTS=OFF -DTW_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_HARNESSES)) fuzz_seeds
	rm -rf $(FUZZ_BUILD)/seeds
	$(FUZZ_BUILD)/fuzz/fuzz_seeds $(FUZZ_BUILD)/seeds
	set -e; for h in $(FUZZ_HARNESSES); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$h; \
	  $(FUZZ_BUILD)/fuzz/fuzz_$$h -max_total_time=$(FUZZ_SECONDS) -max_len=65536 -timeout=10 \
	    -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/fuzz_$$h- \
	    $(FUZZ_BUILD)/corpus/$$h fuzz/corpus/$$h $(FUZZ_BUILD)/seeds/$$h; \
	done

# The README's pictures of the program's windows, drawn by the program itself offscreen
# from the demo project.
docs: deps
	$(MAKE) configure
	cmake --build $(BUILD) --target tw_readme_pictures
	QT_QPA_PLATFORM=offscreen $(BUILD)/tools/tw_readme_pictures $(BUILD)/app $(CURDIR)/docs

# The voice patch rendered by tonewright-cli against the same patch in Pure Data (CPU time,
# medians of 3), when `pd` is installed (apt-get install puredata-core); nothing else needs it.
PEER_PATCH ?= $(CURDIR)/../shared/peer/pd_patch.py
bench-peer: configure
	cmake --build $(BUILD) --target tonewright-cli tw_voice_patch
	python3 bench/peer_compare.py $(BUILD) $(PEER_PATCH)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) build-asan build-tsan
