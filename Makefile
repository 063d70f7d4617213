# The two commands: `make run` and `make test`. Both set up what is missing,
# configure and build first.
BUILD_DIR ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps configure build programs test run install screenshots format check-format clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

configure: deps $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Only what the demo runs: no test suite, no benchmark.
programs: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target programs

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

run: programs
	@scripts/run.sh $(BUILD_DIR)

install: build
	cmake --install $(BUILD_DIR) $(if $(PREFIX),--prefix $(PREFIX),)

format:
	@scripts/check-format.sh --fix

check-format:
	@scripts/check-format.sh

clean:
	rm -rf $(BUILD_DIR)

screenshots: build
	$(BUILD_DIR)/bin/VELDANpreview_screenshots $(BUILD_DIR)/screenshots
	$(BUILD_DIR)/bin/VELDANpreview_capture_screenshots $(BUILD_DIR)/screenshots
