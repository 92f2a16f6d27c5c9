# The two entry points of the README: `make run` and `make test`.
# Each installs what is missing, configures, builds and then runs.

.PHONY: deps run test build bench format clean

deps:
	@scripts/install-deps.sh

run: deps
	cmake --preset release
	cmake --build --preset release --target corvane
	./build/release/src/corvane

# The fuzzers run first so the test suite's summary is the last thing printed; a fuzzer
# failure still fails the target once the suite has run.
test: deps
	cmake --preset dev
	cmake --build --preset dev
	cmake --preset fuzz
	cmake --build --preset fuzz
	scripts/run-fuzzers.sh build/fuzz; fuzzers=$$?; scripts/run-tests.sh build/dev && exit $$fuzzers

bench: deps
	cmake --preset release
	cmake --build --preset release --target corvane_bench
	./build/release/bench/corvane_bench

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
