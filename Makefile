# Two commands do everything on a fresh Debian 12 machine (as root or with sudo):
#   make run    install missing packages, build, start the wizard
#   make test   the same with the test packages, then every test
# Further targets: deb test-asan test-tsan fuzz soak bench install clean

# Beside the libraries and tools: Qt's linguist tools and their CMake functions
# (qt6-l10n-tools, qt6-tools-dev), and Qt's own translations of its standard
# texts, which the build puts into the program (qt6-translations-l10n).
BUILD_PACKAGES := qt6-base-dev qt6-base-private-dev libgl-dev libpulse-dev libgsm1-dev libxcb1-dev \
  pkg-config cmake ninja-build g++ ccache fonts-dejavu-core fonts-dejavu-extra fonts-liberation \
  libproxy-dev libproxy1-plugin-webkit libproxy1-plugin-gsettings libproxy1-plugin-kconfig \
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
# Making the Debian package: dpkg-shlibdeps finds the libraries' packages, file
# tells CPack which files are programs.
DEB_PACKAGES := $(BUILD_PACKAGES) dpkg-dev file
# The package test also checks the package with lintian, its AppStream file
# with appstreamcli and its manual page with man.
TEST_PACKAGES := $(DEB_PACKAGES) lintian appstream man-db \
  libgtest-dev googletest libbenchmark-dev pulseaudio pulseaudio-utils \
  xvfb x11-utils x11-xserver-utils dante-server microsocks \
  curl sox libsox-fmt-all ffmpeg espeak-ng netcat-openbsd clang libclang-rt-dev \
  util-linux bc pipewire pipewire-bin pipewire-pulse wireplumber dbus \
  at-spi2-core python3-pyatspi gir1.2-atspi-2.0 xdotool
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
JOBS ?= $(shell nproc)
CMAKE_LAUNCHER := $(shell command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CTEST := ctest --output-on-failure --no-tests=error
# ccache shares its cache between clones of the tree in other folders.
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := true

.PHONY: run test deb deps deps-test deps-deb build test-asan test-tsan fuzz soak bench install clean

# Installs only what is missing; with everything present this asks no registry.
define install_missing
	@missing=$$(for p in $(1); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing: $$missing"; \
	  $(SUDO) apt-get update -q && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(BUILD_PACKAGES))

deps-test:
	$(call install_missing,$(TEST_PACKAGES))

deps-deb:
	$(call install_missing,$(DEB_PACKAGES))

build/build.ninja:
	cmake -S . -B build -G Ninja $(CMAKE_LAUNCHER)

build: build/build.ninja
	cmake --build build -j $(JOBS)

run: deps
	@$(MAKE) --no-print-directory build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): running the readiness report instead."; \
	  build/src/tavora-wizard --check; \
	else build/src/tavora-wizard $(ARGS); fi

# The real-time audio tests run one at a time after the others, so that no
# other test competes with them for the processor; a run the machine's load
# spoils (a server underrun) gets one more try.
test: deps-test
	@$(MAKE) --no-print-directory build
	cd build && $(CTEST) -j $(JOBS) -LE 'soak|pulse'
	cd build && $(CTEST) -L pulse --repeat until-pass:2

# Unit and offscreen window tests under AddressSanitizer + UndefinedBehaviorSanitizer.
test-asan: deps-test
	cmake -S . -B build-asan -G Ninja $(CMAKE_LAUNCHER) -DCMAKE_BUILD_TYPE=Debug \
	  -DTAVORA_SANITIZE=address,undefined -DTAVORA_BUILD_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  $(CTEST) -j $(JOBS) -L 'unit|gui'

# The threaded tests under ThreadSanitizer.
test-tsan: deps-test
	cmake -S . -B build-tsan -G Ninja $(CMAKE_LAUNCHER) -DCMAKE_BUILD_TYPE=Debug \
	  -DTAVORA_SANITIZE=thread -DTAVORA_BUILD_BENCH=OFF
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(CTEST) -j $(JOBS)

# Bounded libFuzzer runs (clang).
fuzz: deps-test
	cmake -S . -B build-fuzz -G Ninja $(CMAKE_LAUNCHER) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTAVORA_FUZZ=ON \
	  -DTAVORA_BUILD_TESTS=OFF -DTAVORA_BUILD_BENCH=OFF
	cmake --build build-fuzz -j $(JOBS) --target fuzz-all
	FUZZ_SECONDS=$${FUZZ_SECONDS:-60} fuzz/run.sh build-fuzz

soak: deps-test
	@$(MAKE) --no-print-directory build
	cd build && $(CTEST) -L soak

bench: deps-test
	@$(MAKE) --no-print-directory build
	bench/run.sh build

# build/tavora-wizard_<version>_<arch>.deb (see the README for installing it).
deb: deps-deb
	@$(MAKE) --no-print-directory build
	cd build && cpack -G DEB
	@ls build/tavora-wizard_*.deb

install: deps
	@$(MAKE) --no-print-directory build
	$(SUDO) cmake --install build

clean:
	rm -rf build build-asan build-tsan build-fuzz
