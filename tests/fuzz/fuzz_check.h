// Invariant checks of the fuzz targets.
#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant is a finding: say which one, then crash for the fuzzer.
#define Check(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);               \
            abort();                                                                               \
        }                                                                                          \
    } while (0)
