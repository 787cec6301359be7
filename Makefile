# make run   - install dependencies if missing, build, run the tour in batch mode
# make test  - install, build with AddressSanitizer + UBSan, run every test
BUILD     ?= build
SAN_BUILD ?= build-san
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build run test san fuzz install clean

all: build

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	cd $(BUILD) && SYSDIR_NUVRA=$(CURDIR)/$(BUILD) ./nuvra-mp -b do $(CURDIR)/examples/tour.do; \
	  status=$$?; cat tour.log; exit $$status

san: deps
	cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNUVRA_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)

test: san
	ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DNUVRA_SANITIZE=ON -DNUVRA_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD)
