# Tintwright: `make run` starts the program, `make test` runs every test. Both install what
# they need first (scripts/setup.sh, a no-op when all is there).
SHELL := /bin/bash
.PHONY: setup build test run screenshot fuzz format format-check clean

# CI sets TW_REQUIRE_CORPUS=1: a missing BMP test suite then fails the build; and TW_WERROR=1:
# a warning does too.
CONFIGURE := -DTW_REQUIRE_CORPUS=$(if $(TW_REQUIRE_CORPUS),ON,OFF) -DTW_WERROR=$(if $(TW_WERROR),ON,OFF)

setup:
	@bash scripts/setup.sh

build: setup
	cmake --preset native $(CONFIGURE) >/dev/null && cmake --build --preset native
	cmake --preset native-asan $(CONFIGURE) >/dev/null && cmake --build --preset native-asan
	cmake --preset win32 $(CONFIGURE) >/dev/null && cmake --build --preset win32
	@if [ "$$(scripts/wine-arch.sh)" = win64 ]; then \
	  echo "build: this host cannot run 32-bit programs; building the 64-bit variant for the Windows tests"; \
	  cmake --preset win64 $(CONFIGURE) >/dev/null && cmake --build --preset win64; \
	fi

test: build
	ctest --preset native
	ctest --preset native-asan
	ctest --preset $$(scripts/wine-arch.sh)

run: build
	scripts/run.sh

fuzz: setup
	scripts/fuzz.sh

screenshot: build
	scripts/screenshot.sh

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

# Fails, naming the files, when a source file is not as clang-format would write it.
format-check:
	clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
