# The two commands: `make run` and `make test`. Both set up what is missing,
# configure and build first.
BUILD_DIR ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps configure build test run install screenshots clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

configure: deps $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

run: build
	@scripts/run.sh $(BUILD_DIR)

install: build
	cmake --install $(BUILD_DIR) $(if $(PREFIX),--prefix $(PREFIX),)

clean:
	rm -rf $(BUILD_DIR)

screenshots: build
	$(BUILD_DIR)/bin/VELDANpreview_screenshots $(BUILD_DIR)/screenshots
	$(BUILD_DIR)/bin/VELDANpreview_capture_screenshots $(BUILD_DIR)/screenshots
