#pragma once
// Every fuzz target defines LLVMFuzzerTestOneInput. Under libFuzzer it runs
// as a fuzzer; in the ordinary build ReplayMain.cpp feeds it the seed corpus
// and every input a fuzzer ever found, so those stay regression tests.
// A target reports a broken property with FUZZ_CHECK, which aborts: the
// fuzzer then keeps the input and the replay test fails.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                            \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                \
        }                                                                                \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
