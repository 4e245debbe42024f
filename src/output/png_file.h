#pragma once

// A picture as PNG, through libpng.

#include <cstddef>
#include <string>

// The bytes of a PNG of `width` x `height` pixels, 8-bit RGB, from rows of 3 * width bytes
// given from the bottom row up (as OpenGL reads them), in storage from malloc that the caller
// frees. Null, with the reason, on failure.
unsigned char* encodePng(const unsigned char* rgb, int width, int height, std::size_t& size,
                         std::string& reason);
