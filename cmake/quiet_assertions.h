// Included first in every translation unit of the stub (-include). The library's checked string and
// container accesses stay on (_GLIBCXX_ASSERTIONS: an index out of range ends the run), but a
// failed check ends the process at once instead of passing its file, line, function and condition
// texts to a reporter that the stub replaces with an abort anyway: those texts were about 6 KiB.
#pragma once
#include <bits/c++config.h>

#if defined(_GLIBCXX_ASSERTIONS) && defined(__glibcxx_assert_impl)
#undef __glibcxx_assert_impl
#define __glibcxx_assert_impl(condition) \
  if (__builtin_expect(!bool(condition), false)) __builtin_abort()
#endif
