# SPDX-License-Identifier: GPL-3.0-or-later
# Korvello: the commands a person types. Everything real lives in CMake.
#   make test    install missing packages, build (with AddressSanitizer) and run every test
#   make demo    build, write a demo iPod, map it as a drive of its own and start the program
#   make run     build and start the program for real use
#   make bench   build optimised and run every benchmark, one table
#   make install build optimised and install under PREFIX (default /usr/local)
#   make package build optimised and hardened and write build/package/korvello_<version>_<arch>.deb
#   make format  format the C++ sources with the repository's .clang-format
#   make fuzz    libFuzzer over the database reader under ASan/UBSan (MINUTES=20 by default;
#                FUZZ=tags: over the reading of song files' own tags)
#   make mutants break each safety guard of scripts/mutants.list in turn and check that its
#                test program notices (not part of make test; about 30 minutes)

JOBS ?= 2
PREFIX ?= /usr/local
MINUTES ?= 20
CMAKE ?= cmake

.PHONY: all bootstrap build test demo run bench install package format screenshot fuzz mutants clean

all: build

bootstrap:
	@bash scripts/bootstrap.sh

build: bootstrap
	$(CMAKE) --preset release
	$(CMAKE) --build --preset release -j$(JOBS)

test: bootstrap
	$(CMAKE) --preset test
	$(CMAKE) --build --preset test -j$(JOBS)
	QT_QPA_PLATFORM=offscreen ctest --preset test -j$(JOBS)

demo: build
	bash scripts/demo.sh build/release

run: build
	./build/release/korvello

bench: build
	bash scripts/bench.sh build/release

screenshot: build
	bash scripts/screenshot.sh build/release

fuzz: bootstrap
	JOBS=$(JOBS) bash scripts/fuzz.sh $(MINUTES) $(FUZZ)

mutants: bootstrap
	JOBS=$(JOBS) bash scripts/mutants.sh

install: build
	$(CMAKE) --install build/release --prefix $(PREFIX)

package: bootstrap
	$(CMAKE) --preset package
	$(CMAKE) --build --preset package -j$(JOBS)
	cpack --preset package
	@if command -v lintian >/dev/null; then lintian --fail-on error build/package/korvello_*.deb; fi
	@ls build/package/korvello_*.deb

format:
	bash scripts/format.sh

clean:
	rm -rf build
