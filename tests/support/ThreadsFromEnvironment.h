// The threads the tests and the test driver give engine jobs: QUILLAR_THREADS from the
// environment, else 0 (one per core). ctest runs the zip suites once more with 1; the
// benchmarks compare 1, 2 and all threads through it.
#pragma once

#include <cstdlib>

inline unsigned ThreadsFromEnvironment() {
    const char* value = std::getenv("QUILLAR_THREADS");
    return value && *value ? static_cast<unsigned>(std::strtoul(value, nullptr, 10)) : 0;
}
