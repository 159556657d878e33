# Set-up in two commands: `make run` opens the player on the demo film,
# `make test` runs every test. Both install what is missing first.
BUILD      ?= build
BUILD_ASAN ?= build-asan
JOBS       ?= $(shell nproc)
TEST_ENV    = QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy XDG_RUNTIME_DIR=$(CURDIR)/$(BUILD)/xdg

.PHONY: all paquets build build-asan run test test-asan clean install deb

all: build

paquets:
	@scripts/paquets.sh

$(BUILD)/build.ninja: | paquets
	cmake -S . -B $(BUILD) -G Ninja

$(BUILD_ASAN)/build.ninja: | paquets
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DZR7_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug

build: paquets $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

build-asan: paquets $(BUILD_ASAN)/build.ninja
	cmake --build $(BUILD_ASAN) -j $(JOBS)

run: build
	@scripts/lancer.sh $(BUILD)

test: build
	@mkdir -p -m 700 $(BUILD)/xdg
	cd $(BUILD) && $(TEST_ENV) ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	@mkdir -p -m 700 $(BUILD_ASAN)/xdg
	cd $(BUILD_ASAN) && $(TEST_ENV) XDG_RUNTIME_DIR=$(CURDIR)/$(BUILD_ASAN)/xdg \
	  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# Installs under PREFIX (default /usr/local), below DESTDIR when given.
PREFIX  ?= /usr/local
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# Debian package in $(BUILD): apt install ./$(BUILD)/lecteurzr7_*.deb
deb: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(BUILD_ASAN)
