# Quick start: `make run` scans the bundled sample image (or SOURCE=...), `make test`
# runs every test. Both install what they need first.

SAMPLE := build/sample/sample-fat32.img
SOURCE ?= $(SAMPLE)
JOBS ?= $(shell nproc)
# Unchanged files compile from the cache when ccache is installed.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: run test deps build clean

deps:
	@bash tools/install-deps.sh

build: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORIX_TESTS=OFF $(LAUNCHER)
	cmake --build build --target norix -j $(JOBS)

$(SAMPLE): resources/sample-fat32.img.zst
	@mkdir -p $(dir $@)
	zstd -q -d -f -o $@ $<

run: build $(SAMPLE)
	./build/cli/norix scan $(SOURCE)

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
