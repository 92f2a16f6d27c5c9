# The two entry points of the README: `make run` and `make test`.
# Each installs what is missing, configures, builds and then runs.

.PHONY: deps run test fuzz build bench package format clean

deps:
	@scripts/install-deps.sh

run: deps
	cmake --preset release
	cmake --build --preset release --target corvane
	./build/release/src/corvane

# The fuzzers run first so the test suite's summary is the last thing printed; a fuzzer
# failure is repeated after the suite's summary and still fails the target.
test: deps
	cmake --preset dev
	cmake --build --preset dev
	cmake --preset fuzz
	cmake --build --preset fuzz
	scripts/run-fuzzers.sh build/fuzz >build/fuzz.log 2>&1; fuzzers=$$?; cat build/fuzz.log; \
	scripts/run-tests.sh build/dev; tests=$$?; \
	if [ $$fuzzers -ne 0 ]; then grep -A3 -E 'check failed|ERROR:|SUMMARY:|failed;' build/fuzz.log; fi; \
	[ $$tests -eq 0 ] && [ $$fuzzers -eq 0 ]

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz
	scripts/run-fuzzers.sh build/fuzz $${FUZZ_SECONDS:-300}

bench: deps
	cmake --preset release
	cmake --build --preset release --target corvane_bench corvane_recognition_bench corvane_upgrade_bench
	./build/release/bench/corvane_bench
	./build/release/bench/corvane_recognition_bench
	./build/release/bench/corvane_upgrade_bench

# The Debian package (build/package/corvane_*.deb).
package: deps
	cmake --preset package
	cmake --build --preset package
	cd build/package && cpack -G DEB

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
