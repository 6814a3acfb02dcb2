# The commands people type; CMake does the work in these build trees:
#   build/linux       libquillon.so, quillon.jar (with both bridges), the quillon tool, Java tests
#   build/windows     quillon.dll cross-built with mingw-w64, native tests under wine
#   build/linux-asan  the native suite under AddressSanitizer and UBSan
#   build/linux-tsan  the thread suite under ThreadSanitizer
#   build/fuzz        libFuzzer targets built with clang (make fuzz, not part of make test)
#   build/bench       the benchmark (make bench)
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2
CONFIGURE = cmake -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -S .

FUZZ_TIME ?= 600

.PHONY: deps build test demo bench soak fuzz clean install uninstall

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
	$(CONFIGURE) -B build/linux-tsan -DQUILLON_SANITIZE_THREAD=ON >/dev/null
	cmake --build build/linux-tsan -j $(JOBS)
	ctest --test-dir build/linux --output-on-failure
	ctest --test-dir build/linux-asan --output-on-failure
	ctest --test-dir build/linux-tsan --output-on-failure
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

# A million mixed calls from Java into the recording module, which keeps no journal
# (QREC_SOAK); fails when resident memory grows by 1 MiB or more after the warm-up. A fixed
# heap touched up front, one collector thread, the quick compiler only and two malloc arenas
# keep the VM's own memory still, so that what grows is the bridge's.
SOAK_CALLS ?= 1000000
soak: build
	env -u PKCS11_ZOR_DEBUG QREC_SOAK=1 MALLOC_ARENA_MAX=2 java -Xms64m -Xmx64m -XX:+AlwaysPreTouch \
	  -XX:+UseSerialGC -XX:TieredStopAtLevel=1 \
	  -cp build/linux/quillon.jar:build/linux/tests/java/quillon_tests.jar it.morvale.pkcs11.nat.Soak \
	  $(CURDIR)/build/linux/libquillon.so $(CURDIR)/build/linux/libqrec.so $(SOAK_CALLS)

# Each fuzz target runs FUZZ_TIME seconds, one after the other, from the corpus kept in
# tests/fuzz/corpus, and merges what it found back into it.
fuzz: deps
	@sh cmake/deps.sh fuzz
	cmake -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DQUILLON_FUZZ=ON -S . -B build/fuzz >/dev/null
	cmake --build build/fuzz -j $(JOBS) --target template_fuzz answers_fuzz
	sh tests/fuzz/run.sh build/fuzz $(FUZZ_TIME) template_fuzz answers_fuzz

# The tool, its jars and the bridge's library where a Debian system keeps them:
# $(PREFIX)/bin/quillon, $(PREFIX)/share/java/quillon.jar and quillon-tool.jar,
# $(PREFIX)/lib/<multiarch>/jni/libquillon.so, the manual page and the bash
# completion. DESTDIR stages the files for a package; without it the tool's
# class-data archive is made for the installed jars (it names them by their
# paths), so that the installed tool starts as quickly as the clone's.
PREFIX ?= /usr/local
TREE ?= build/linux
MULTIARCH ?= $(shell dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
JAVADIR = $(PREFIX)/share/java
JNIDIR = $(PREFIX)/lib/$(MULTIARCH)/jni
ARCHIVEDIR = $(PREFIX)/lib/$(MULTIARCH)/quillon
install: build
	install -d $(DESTDIR)$(PREFIX)/bin $(DESTDIR)$(JAVADIR) $(DESTDIR)$(JNIDIR) \
	  $(DESTDIR)$(PREFIX)/share/man/man1 $(DESTDIR)$(PREFIX)/share/bash-completion/completions
	install -m 755 bin/quillon $(DESTDIR)$(PREFIX)/bin/quillon
	install -m 644 $(TREE)/quillon.jar $(TREE)/quillon-tool.jar $(DESTDIR)$(JAVADIR)
	install -m 644 $(TREE)/libquillon.so $(DESTDIR)$(JNIDIR)
	gzip -9n <$(TREE)/quillon.1 >$(DESTDIR)$(PREFIX)/share/man/man1/quillon.1.gz
	install -m 644 $(TREE)/quillon.bash-completion \
	  $(DESTDIR)$(PREFIX)/share/bash-completion/completions/quillon
	if [ -z "$(DESTDIR)" ]; then \
	  install -d $(ARCHIVEDIR) && \
	  sh java/tool/class-archive.sh $(JAVADIR)/quillon-tool.jar $(JNIDIR)/libquillon.so \
	    $(ARCHIVEDIR)/quillon-tool.jsa java/tool/training.txt $(TREE)/install-archive-work; \
	fi

uninstall:
	rm -f $(DESTDIR)$(PREFIX)/bin/quillon $(DESTDIR)$(JAVADIR)/quillon.jar \
	  $(DESTDIR)$(JAVADIR)/quillon-tool.jar $(DESTDIR)$(JNIDIR)/libquillon.so \
	  $(DESTDIR)$(ARCHIVEDIR)/quillon-tool.jsa $(DESTDIR)$(PREFIX)/share/man/man1/quillon.1.gz \
	  $(DESTDIR)$(PREFIX)/share/bash-completion/completions/quillon
	-rmdir $(DESTDIR)$(ARCHIVEDIR) $(DESTDIR)$(JNIDIR) 2>/dev/null

clean:
	rm -rf build
