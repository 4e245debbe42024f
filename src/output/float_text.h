#pragma once

// The shortest decimal text that reads back as the same float, as std::to_chars(first, last,
// value) writes it: the fewest significant digits that round-trip (the nearest such decimal when
// several have that many), in plain or exponent notation, whichever is shorter, plain on a tie.
// Not every C++ library built for has the floating-point to_chars (emscripten 3.1.6's has none),
// so it is made here from printf's correctly rounded digits and strtof.

// Writes the text of a finite `value` at `out` (at most 16 bytes, no terminator) and returns the
// end.
char* putShortestFloat(char* out, float value);
