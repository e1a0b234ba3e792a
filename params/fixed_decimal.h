// Fixed-point text of a double, computed exactly, with no help from the C or C++ library.
#pragma once

#include <cstddef>

// The text "%.*f" gives in the C locale, with `decimals` digits after the point (0 ... 20): the
// exact binary value rounded half to even, a "-" for every value whose sign bit is set (so -0.0
// and values that round to zero keep it), "inf" and "nan" with their sign. Written with big
// integer arithmetic of its own, so every build prints the same digits and no formatting code of
// the standard library is linked in. Returns the length, or 0 (and an empty text) when `size`
// is too small.
std::size_t formatFixedDecimal(char* out, std::size_t size, double value, int decimals);
