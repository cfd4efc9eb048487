# `make run` and `make test` do the whole set-up on a fresh Debian machine: install what is
# missing, configure, build, then start Korvex or run every test headless.
BUILD_DIR ?= build
WINDOWS_BUILD_DIR ?= build-windows
SANITIZE ?=
JOBS ?= $(shell nproc)

ifeq ($(SANITIZE),1)
BUILD_DIR := build-sanitize
CMAKE_FLAGS += -DKORVEX_SANITIZE=ON -DKORVEX_BENCHMARKS=OFF
else
# The static checks look at the sources, not the build: once, on the plain build.
TIDY := tidy
endif

# Debian packages the build (MinGW-w64 for i386 builds Tolvane for Windows 95/98/ME), the tests
# (Wine for the interop tests; MinGW-w64 and GoogleTest's sources for the contract tests as a
# Windows program; clang-tidy for the static checks) and the benchmarks need, and Qt's
# translations of its own texts, which the program loads for Russian.
PACKAGES := cmake make g++ pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev \
            libbenchmark-dev clang-format clang-tidy wine wine64 g++-mingw-w64-x86-64 g++-mingw-w64-i686 \
            googletest qt6-translations-l10n
# Disk images: their FAT file systems through mtools, checked by fsck.fat and built by mkfs.fat;
# qcow2, VHD, VDI and VMDK through qemu-img and qemu-io; the test image builder is Python.
PACKAGES += mtools dosfstools qemu-utils python3
# Independent readers of the Windows 9x registry format that the tests check our files with.
PACKAGES += libcreg-utils python3-libcreg libparse-win32registry-perl
# The Russian locale's sources, from which the code page tests make ru_RU.UTF-8 with localedef.
PACKAGES += locales
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps configure build run test test-windows tidy bench format format-check clean

all: build

# 32-bit Wine (wine32:i386, with the i386 architecture added to dpkg) lets the Windows tests run
# Tolvane for Windows 95/98/ME. It is installed only where the kernel runs 32-bit programs: some
# kernels are built without that or start with it switched off, and there wine32 would only make
# a plain `wine` start a 32-bit loader that cannot run. The test: a 95-byte i386 program, written
# below byte for byte (an ELF header, one loadable segment, and code that makes the exit system
# call with 42), must run and end with 42; a kernel that cannot run it refuses to start it.
I386_PROBE := printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000'; \
              printf '\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000'; \
              printf '\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010'; \
              printf '\000\200\004\010\137\000\000\000\137\000\000\000\005\000\000\000\000\020\000\000'; \
              printf '\061\333\263\052\270\001\000\000\000\315\200'
RUNS_I386 = probe=$$(mktemp) && { $(I386_PROBE); } >"$$probe" && chmod +x "$$probe" && \
            { "$$probe" 2>/dev/null; code=$$?; rm -f "$$probe"; [ $$code = 42 ]; }

deps:
	@packages="$(PACKAGES)"; \
	if $(RUNS_I386); then packages="$$packages wine32:i386"; \
	else echo "wine32:i386 left out: this kernel runs no 32-bit programs."; fi; \
	missing=$$(for p in $$packages; do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing:" $$missing; \
	    case " $$missing " in *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || \
	        $(SUDO) dpkg --add-architecture i386;; esac; \
	    $(SUDO) apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/korvex/korvex

# A Windows 98 disk image made from the seed of a new machine, its registry written by Korvex's
# own writer: `make run KORVEX_MACHINE=build/win98.img` opens it.
.PHONY: disk-image
disk-image: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target win98_image

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory test-install
	$(MAKE) --no-print-directory test-windows $(TIDY)

# The platform contract tests built for Windows and run under Wine against its real functions.
test-windows: deps
	tests/windows/run_under_wine.sh $(WINDOWS_BUILD_DIR)

# clang-tidy (.clang-tidy) over every source of the build; sources unchanged since they last
# passed are skipped.
tidy: build
	tests/tidy/run_clang_tidy.sh $(BUILD_DIR) $(JOBS)

BENCHMARKS := korvex_bench icons_bench internet_bench history_bench prefixes_bench disk_image_bench creg_bench image_machine_bench

bench: build
	for b in $(BENCHMARKS); do \
	    ./$(BUILD_DIR)/bench/$$b --benchmark_repetitions=5 --benchmark_report_aggregates_only=true || exit 1; \
	done

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

format-check:
	clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-sanitize $(WINDOWS_BUILD_DIR)

# --- Installing Korvex as a desktop program ------------------------------------------------------
# `make install PREFIX=/usr DESTDIR=/tmp/stage` and `make package` (a .deb in $(BUILD_DIR));
# `make test` ends with test-install, which checks both with the desktop's own validators.
PREFIX ?= /usr/local
PACKAGES += desktop-file-utils appstream dpkg-dev

.PHONY: install package test-install

install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD_DIR) --prefix $(PREFIX)

package: build
	cd $(BUILD_DIR) && cpack -G DEB

test-install: build
	tests/install/check_install.sh $(BUILD_DIR)
