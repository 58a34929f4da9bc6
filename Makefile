# Quick start: `make run` opens the application on the bundled sample image (or
# SOURCE=...) when a display is available, else scans it with the command line; `make
# test` runs every test; `make package` builds the Debian package. Each installs what
# it needs first.

SAMPLE := build/sample/sample-fat32.img
SOURCE ?= $(SAMPLE)
JOBS ?= $(shell nproc)
# Unchanged files compile from the cache when ccache is installed.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: run test deps build package clean

deps:
	@bash tools/install-deps.sh

build: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORIX_TESTS=OFF $(LAUNCHER)
	cmake --build build --target norix norix-recovery -j $(JOBS)

$(SAMPLE): resources/sample-fat32.img.zst
	@mkdir -p $(dir $@)
	zstd -q -d -f -o $@ $<

run: build $(SAMPLE)
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "Opening the Norix Data Recovery application on $(SOURCE)"; ./build/app/norix-recovery $(SOURCE); \
	else \
	  echo "No display: scanning $(SOURCE) with the norix command"; ./build/cli/norix scan $(SOURCE); \
	fi

package: build
	cd build && cpack -G DEB

test: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNORIX_SANITIZE=ON -DNORIX_WERROR=ON $(LAUNCHER)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNORIX_TSAN=ON -DNORIX_WERROR=ON $(LAUNCHER)
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && ctest --output-on-failure -j $(JOBS)
	@bash tools/test-ratio.sh | tail -n 1

clean:
	rm -rf build build-asan build-tsan
