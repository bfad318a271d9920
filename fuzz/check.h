// The fuzz targets' own checks. A failed check names itself and aborts, which
// libFuzzer reports as a crash and keeps the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

#ifndef KAPPA_FUZZ_TARGET
#error "KAPPA_FUZZ_TARGET must name the fuzz target"
#endif

namespace kappa::fuzz {

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "%s: %s\n", KAPPA_FUZZ_TARGET, what);
    std::abort();
}

inline void expect(bool holds, const char* what) {
    if (!holds) fail(what);
}

}  // namespace kappa::fuzz
