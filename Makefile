# make run   - install what is missing, build, start the program
# make test  - install what is missing, build, run every test (plain, AddressSanitizer and
#              UndefinedBehaviorSanitizer, ThreadSanitizer builds, each fuzz target briefly)
# make bench - build and run the benchmarks
# make package - build a Debian package (build/trellium_*.deb) from the build
# make test-package - build the package, check it with lintian, appstreamcli and
#              desktop-file-validate, upgrade and remove it in a scratch root
#              (part of make test)
# make fuzz  - build the fuzz targets with clang and run each for FUZZ_SECONDS
#              (default 600); make fuzz-smoke runs each for 10 seconds (part of make test)
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_TARGETS := fuzz_session fuzz_datastring fuzz_render fuzz_crcmodel fuzz_workspace
JOBS       ?= $(shell nproc)
# The package's files: version from the changelog, the machine's architecture.
DEB_SUFFIX  = $(shell dpkg-parsechangelog -l packaging/changelog -S Version)_$(shell dpkg --print-architecture)
DEB         = $(BUILD)/trellium_$(DEB_SUFFIX).deb
DDEB        = $(BUILD)/trellium-dbgsym_$(DEB_SUFFIX).ddeb
CMAKE_GEN  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all deps build run package test-package test test-plain test-asan tsan bench fuzz fuzz-build fuzz-smoke format clean

all: build

deps:
	@./deps/install.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/trellium

test: test-plain test-package test-asan tsan fuzz-smoke

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DTRELLIUM_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

# ThreadSanitizer over every test that starts a thread. The companion tests
# are skipped here (TRELLIUM_CLI empty): starting a child process through
# QProcess leaves ThreadSanitizer with a wrong picture of the parent's
# threads. The canary holds a deliberate race in the delivery path and must
# be reported through the same suppressions.
TSAN_TESTS := test_session test_send test_net test_serial
tsan: deps
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DTRELLIUM_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TESTS) tsan_canary
	for t in $(TSAN_TESTS); do \
		TRELLIUM_CLI= QT_QPA_PLATFORM=offscreen TRELLIUM_LISTEN_ADDRESS=127.0.0.1 \
		TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" \
		$(TSAN_BUILD)/bin/$$t || exit 1; \
	done
	@if TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" \
		$(TSAN_BUILD)/bin/tsan_canary > $(TSAN_BUILD)/canary.log 2>&1; then \
		echo "tsan: the racy canary was not reported; the suppressions hide our races"; exit 1; \
	fi
	@grep -q "ThreadSanitizer: data race" $(TSAN_BUILD)/canary.log && \
		echo "tsan: the racy canary was reported, as it must be"

# A Debian package of the program from the build in $(BUILD), not a new
# build: $(DEB), its debug information beside it in $(DDEB).
package: build
	cd $(BUILD) && cpack -G DEB

# The package checked as Debian and the software centres check it, then
# installed over an older version and removed in a scratch root.
test-package: package
	bash tests/packaging/check_package.sh $(DEB) $(DDEB)
	bash tests/packaging/upgrade_test.sh $(DEB) $(DDEB)

bench: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRELLIUM_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)
	for b in $(BUILD)/bin/bench_*; do QT_QPA_PLATFORM=offscreen $$b; done

fuzz-build: deps
	cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_CXX_COMPILER=clang++ -DTRELLIUM_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all

# One target at a time, each on one core; any finding fails the make.
fuzz: fuzz-build
	for t in $(FUZZ_TARGETS); do ./fuzz/run.sh $(FUZZ_BUILD) $$t $(FUZZ_SECONDS) || exit 1; done

fuzz-smoke:
	$(MAKE) fuzz FUZZ_SECONDS=10

format:
	find src tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
