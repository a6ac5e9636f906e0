// SPDX-License-Identifier: MIT
// What every target shares: libFuzzer's entry point, and the check of a property.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// A property that does not hold ends the run, so that libFuzzer keeps the input as a crash and
// the corpus replay fails on it.
#define FUZZ_CHECK(cond)                                                                     \
    ((cond) ? void()                                                                         \
            : (std::fprintf(stderr, "%s:%d: %s does not hold\n", __FILE__, __LINE__, #cond), \
               std::abort()))
