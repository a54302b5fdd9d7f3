# make demo | make test | make bench: each sets up only what is missing.
SHELL := /bin/bash
.DEFAULT_GOAL := help

VENV    := .venv
PY      := $(VENV)/bin/python
PIP     := $(PY) -m pip --disable-pip-version-check -q
STAMPS  := $(VENV)/.stamps
PEER    := .peer/wrfpython
SAMPLE  := build/sample/wrfout_d01_sample.nc
FILE    ?=
JOBS    ?= 2

# Debian packages the build links, the C++ tests use, and the peer needs.
APT_PACKAGES := g++ pkg-config libtbb-dev libdeflate-dev doctest-dev gfortran
NATIVE_SOURCES := $(shell find native python -type f \( -name '*.cpp' -o -name '*.hpp' -o -name '*.py' -o -name 'CMakeLists.txt' \) 2>/dev/null) CMakeLists.txt pyproject.toml

.PHONY: help deps dev demo test test-cpp test-python bench peer clean

help:
	@echo "make demo [FILE=wrfout]   diagnostics of the built-in sample (or of FILE)"
	@echo "make test                 C++ unit tests and the Python test suite"
	@echo "make bench                timings against peers on large synthetic files"

$(STAMPS)/apt:
	@missing=""; for p in $(APT_PACKAGES); do dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing Debian packages:$$missing"; \
	  SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing >/dev/null; \
	fi
	@mkdir -p $(STAMPS) && touch $@

$(PY):
	python3 -m venv $(VENV)

$(STAMPS)/pydeps: pyproject.toml | $(PY)
	$(PIP) install "scikit-build-core>=0.10" "nanobind>=2.4" "cmake>=3.26" ninja numpy "pytest>=8" "hypothesis>=6" "netCDF4>=1.6" "h5py>=3.8"
	@mkdir -p $(STAMPS) && touch $@

deps: $(STAMPS)/apt $(STAMPS)/pydeps

# Incremental: scikit-build-core keeps its CMake tree under build/.
$(STAMPS)/build: $(NATIVE_SOURCES) | deps
	@mkdir -p build
	flock build/.install.lock $(PIP) install --no-build-isolation --no-deps .
	@touch $@

dev: deps $(STAMPS)/build

# wrf-python imports as `wrf` too and needs NumPy 1.x: it gets an environment
# of its own, driven from the tests through tests/python/peers.py.
$(PEER)/.stamp: | deps
	flock /tmp/wrfpython.lock $(PY) tests/python/peers.py --install
	@touch $@

peer: $(PEER)/.stamp

$(SAMPLE): | dev
	@mkdir -p $(dir $@)
	$(PY) -m tests.fixtures.wrfgen --out $@ --nx 40 --ny 36 --nz 30 --nt 3 --format NETCDF3_64BIT_OFFSET

demo: dev $(SAMPLE)
	$(PY) -m wrf.demo $(if $(FILE),$(FILE),$(SAMPLE))

test-cpp: deps
	cmake -S . -B build/cpp -G Ninja -DCMAKE_BUILD_TYPE=Release -DWRF_BUILD_PYTHON=OFF -DWRF_BUILD_TESTS=ON >/dev/null
	cmake --build build/cpp -j $(JOBS)
	ctest --test-dir build/cpp --output-on-failure -j $(JOBS)

test-python: dev peer
	$(PY) -m pytest tests/python -q

test: test-cpp test-python

bench: dev peer
	$(PY) benchmarks/run.py

clean:
	rm -rf build $(STAMPS)
