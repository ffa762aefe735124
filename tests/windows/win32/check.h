#pragma once

// The Windows-side tests are plain C++ (no Qt for Windows here): a failed check
// prints where and what, and the program's exit code counts the failures. The
// Linux QtTest driver (tests/windows/windows_test.cpp) runs them under Wine.

#include <cstdio>

namespace velkoria::wintest {

inline int failures = 0;

inline bool check(bool ok, const char* file, int line, const char* what) {
    if (!ok) {
        ++failures;
        std::printf("FAIL %s:%d: %s\n", file, line, what);
        std::fflush(stdout);
    }
    return ok;
}

} // namespace velkoria::wintest

#define CHECK(condition) ::velkoria::wintest::check(bool(condition), __FILE__, __LINE__, #condition)
