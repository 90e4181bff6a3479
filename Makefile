# The everyday entry points. Each one installs what is missing first.
BUILD      ?= build
GENERATOR  ?= Ninja
CMAKE_ARGS ?=
JOBS       ?= $(shell nproc)

.PHONY: all setup configure build run test bench clean

all: build

setup:
	@bash tools/setup.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G $(GENERATOR) $(CMAKE_ARGS)

configure: $(BUILD)/build.ninja

build: setup configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash tools/run-with-devsim.sh $(BUILD)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	@bash tools/run-benchmarks.sh $(BUILD)

clean:
	rm -rf $(BUILD)
