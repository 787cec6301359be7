# make run   - install dependencies if missing, build, run the tour in batch mode
# make test  - install, build with AddressSanitizer + UBSan, run every test
BUILD     ?= build
SAN_BUILD ?= build-san
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build run test san install clean

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

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(SAN_BUILD)
