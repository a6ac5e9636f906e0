// SPDX-License-Identifier: MIT
#pragma once

#include <cstdio>
#include <cstdlib>

// A property that does not hold ends the run, so that libFuzzer keeps the input as a crash and
// the corpus replay fails on it.
#define FUZZ_CHECK(cond)                                                                     \
    ((cond) ? void()                                                                         \
            : (std::fprintf(stderr, "%s:%d: %s does not hold\n", __FILE__, __LINE__, #cond), \
               std::abort()))
