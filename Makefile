# The commands people type; CMake does the work in three build trees:
#   build/linux       libquillon.so, quillon.jar (with both bridges), the quillon tool, Java tests
#   build/windows     quillon.dll cross-built with mingw-w64, native tests under wine
#   build/linux-asan  the native suite under AddressSanitizer and UBSan
#   build/bench       the benchmark (make bench)
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2
CONFIGURE = cmake -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -S .

.PHONY: deps build test demo bench clean

deps:
	@sh cmake/deps.sh

# The Windows tree comes first: quillon.jar in the Linux tree carries its DLL.
build: deps
	$(CONFIGURE) -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake >/dev/null
	cmake --build build/windows -j $(JOBS)
	$(CONFIGURE) -B build/linux -DQUILLON_WINDOWS_DLL=$(CURDIR)/build/windows/quillon.dll >/dev/null
	cmake --build build/linux -j $(JOBS)

test: build
	$(CONFIGURE) -B build/linux-asan -DQUILLON_SANITIZE=ON >/dev/null
	cmake --build build/linux-asan -j $(JOBS)
	ctest --test-dir build/linux --output-on-failure
	ctest --test-dir build/linux-asan --output-on-failure
	WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" ctest --test-dir build/windows --output-on-failure

# A throwaway SoftHSM2 token under build/demo and a scripted session with the tool.
demo: build
	@bash demo/demo.sh

# The benchmark in a tree of its own (the bridge as built for release, the
# answering module, the C driver, the Java side); the tables are printed and
# recorded in bench/RESULTS.md.
bench: deps
	@sh cmake/deps.sh bench
	$(CONFIGURE) -B build/bench -DQUILLON_TESTS=OFF -DQUILLON_BENCH=ON >/dev/null
	cmake --build build/bench -j $(JOBS)
	bench/run.sh build/bench --record

clean:
	rm -rf build
