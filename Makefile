# frcore: build, test and run on an ordinary Linux machine.
#
#   make run        install what is missing, build the service and its tools (no tests), and
#                   run a simulated board in the foreground
#   make test       build everything, the tests too, and run every test
#   make sanitize   every test under AddressSanitizer and UndefinedBehaviorSanitizer, then
#                   those with threads under ThreadSanitizer
#   make fuzz       every fuzz target for FUZZ_SECONDS seconds (clang and libFuzzer)
#   make fuzz-long  every fuzz target until FUZZ_LONG_RUNS inputs or FUZZ_LONG_SECONDS, in JOBS
#                   processes at the lowest priority, merging what it finds into corpus/
#   make bench      the benchmarks, in a release build
#   make arm        the service, the tools and the tests cross-built for the board (armhf)
#   make arm-test   every armhf test under qemu-user with the armhf libraries
#   make deb        the Debian packages for armhf and amd64, checked by lintian
#
# Each target first installs the Debian packages it needs and no more (tools/install-deps.sh
# with the target's set); with nothing missing that asks no package registry.

JOBS ?= 2
# The tests mostly wait (on the link's pauses, the simulated boards and their printer lines), so
# three run on each core; under the board's emulator they run as many as the build jobs.
TEST_JOBS ?= $(shell echo $$(( $$(nproc) * 3 )))
BUILD_TYPE ?= RelWithDebInfo
FUZZ_SECONDS ?= 60
FUZZ_LONG_SECONDS ?= 3600
FUZZ_LONG_RUNS ?= 10000000
BOARD ?= board
CMAKE_FLAGS ?=
# Rebuilds of unchanged sources come from ccache when the machine has it.
ifneq ($(shell command -v ccache),)
  CMAKE_FLAGS += -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
endif
ifeq ($(CI),true)
  CMAKE_FLAGS += -DFRCORE_WERROR=ON
endif

comma := ,
# Tests that run on one thread and take minutes under ThreadSanitizer, which looks only for races
# between threads: the archive's crash matrix, its checker's walks over every byte and the board
# generator. The plain run and AddressSanitizer's run them.
ONE_THREAD_TESTS = ^(ArchiveCrashTest|ArchiveCheckerTest|BoardGenerator)\.
configure = cmake -S . -B $(1) -DCMAKE_BUILD_TYPE=$(2) $(CMAKE_FLAGS) $(3) >/dev/null
deps = @sh tools/install-deps.sh $(1)
# What the board's packages take; make run builds these and frgate, which is for the shop's
# machine and is not built for armhf: the service and the tools the README's sections use.
BOARD_PROGRAMS = frcore frsim frhost frarchive
PROGRAMS = $(BOARD_PROGRAMS) frgate

.PHONY: build test run sanitize fuzz-build fuzz fuzz-long bench arm arm-test deb clean

build:
	$(call deps,test)
	$(call configure,build,$(BUILD_TYPE),-DFRCORE_TESTS=ON)
	cmake --build build -j$(JOBS)

test: build
	ctest --test-dir build --output-on-failure -j$(TEST_JOBS)

run:
	$(call deps,run)
	$(call configure,build,$(BUILD_TYPE),-DFRCORE_TESTS=OFF)
	cmake --build build -j$(JOBS) --target $(PROGRAMS)
	build/tools/frsim $(BOARD)

sanitize:
	$(call deps,test)
	$(call configure,build-asan,Debug,-DFRCORE_SANITIZE=address$(comma)undefined -DFRCORE_TESTS=ON)
	cmake --build build-asan -j$(JOBS)
	ctest --test-dir build-asan --output-on-failure -j$(TEST_JOBS)
	$(call configure,build-tsan,Debug,-DFRCORE_SANITIZE=thread -DFRCORE_TESTS=ON)
	cmake --build build-tsan -j$(JOBS)
	TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tools/tsan-suppressions.txt" \
	  ctest --test-dir build-tsan --output-on-failure -j$(TEST_JOBS) -E '$(ONE_THREAD_TESTS)'

fuzz-build:
	$(call deps,fuzz)
	CC=clang CXX=clang++ $(call configure,build-fuzz,Debug,-DFRCORE_FUZZ=ON)
	cmake --build build-fuzz -j$(JOBS)

fuzz: fuzz-build
	sh tools/run-fuzzers.sh build-fuzz $(FUZZ_SECONDS)

fuzz-long: fuzz-build
	sh tools/run-fuzzers-long.sh build-fuzz $(FUZZ_LONG_SECONDS) $(FUZZ_LONG_RUNS) $(JOBS)

bench:
	$(call deps,bench)
	$(call configure,build-bench,Release,-DFRCORE_BENCH=ON)
	cmake --build build-bench -j$(JOBS)
	sh tools/run-benchmarks.sh build-bench

arm:
	$(call deps,arm)
	$(call configure,build-arm,$(BUILD_TYPE),-DCMAKE_TOOLCHAIN_FILE=cmake/armhf.cmake -DFRCORE_TESTS=ON)
	cmake --build build-arm -j$(JOBS)

arm-test: arm
	$(call deps,arm-test)
	ctest --test-dir build-arm --output-on-failure -j$(JOBS)

# The packages take the programs alone from both builds; the tests are other targets' work.
deb:
	$(call deps,deb)
	$(call configure,build,$(BUILD_TYPE),-DFRCORE_TESTS=OFF)
	cmake --build build -j$(JOBS) --target $(PROGRAMS)
	$(call configure,build-arm,$(BUILD_TYPE),-DCMAKE_TOOLCHAIN_FILE=cmake/armhf.cmake -DFRCORE_TESTS=OFF)
	cmake --build build-arm -j$(JOBS) --target $(BOARD_PROGRAMS)
	sh tools/make-deb.sh amd64 build deb
	sh tools/make-deb.sh armhf build-arm deb
	lintian --fail-on error deb/*.deb

clean:
	rm -rf build build-asan build-tsan build-fuzz build-bench build-arm deb
