#pragma once

#include <cstdio>
#include <cstdlib>

// A precondition the program cannot run without. Unlike assert() it stays in release builds: it names
// the unmet condition on standard error and ends the process with an abnormal status.
#define REQUIRE(cond)                                                                                   \
  do {                                                                                                  \
    if (!(cond)) {                                                                                      \
      std::fprintf(stderr, "%s:%d: %s: Assertion `%s' failed.\n", __FILE__, __LINE__, __func__, #cond); \
      std::abort();                                                                                     \
    }                                                                                                   \
  } while (0)
