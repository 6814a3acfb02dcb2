# The commands people type; CMake does the work in three build trees:
#   build/linux       libquillon.so, quillon.jar, Java tests (real JVM, -Xcheck:jni)
#   build/windows     quillon.dll cross-built with mingw-w64, native tests under wine
#   build/linux-asan  the native suite under AddressSanitizer and UBSan
#   build/fuzz        libFuzzer targets built with clang (make fuzz, not part of make test)
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2
CONFIGURE = cmake -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -S .

FUZZ_TIME ?= 600

.PHONY: deps build test demo bench fuzz clean

deps:
	@sh cmake/deps.sh

build: deps
	$(CONFIGURE) -B build/linux >/dev/null
	cmake --build build/linux -j $(JOBS)
	$(CONFIGURE) -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake >/dev/null
	cmake --build build/windows -j $(JOBS)

test: build
	$(CONFIGURE) -B build/linux-asan -DQUILLON_SANITIZE=ON >/dev/null
	cmake --build build/linux-asan -j $(JOBS)
	ctest --test-dir build/linux --output-on-failure
	ctest --test-dir build/linux-asan --output-on-failure
	WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" ctest --test-dir build/windows --output-on-failure

demo: build
	@echo "not yet"

bench: build
	@echo "not yet"

# Each fuzz target runs FUZZ_TIME seconds, one after the other, from the corpus kept in
# tests/fuzz/corpus, and merges what it found back into it.
fuzz: deps
	@sh cmake/deps.sh fuzz
	cmake -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DQUILLON_FUZZ=ON -S . -B build/fuzz >/dev/null
	cmake --build build/fuzz -j $(JOBS) --target template_fuzz answers_fuzz
	sh tests/fuzz/run.sh build/fuzz $(FUZZ_TIME) template_fuzz answers_fuzz

clean:
	rm -rf build
