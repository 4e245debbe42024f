#include "output/float_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

// The texts std::to_chars gives (checked against libstdc++'s): the fewest digits that read back,
// plain or with an exponent, whichever is shorter, plain on a tie; whole numbers with their exact
// digits; and powers of two whose nearest decimal of the shortest length falls just outside the
// values that read back, where a neighbour of it is the answer.
TEST(floatText, writesWhatToCharsWrites) {
    const struct {
        float value;
        const char* text;
    } cases[] = {
        {0.1f, "0.1"},
        {0.3f, "0.3"},
        {2.0f, "2"},
        {-0.0f, "-0"},
        {-31.9375f, "-31.9375"},
        {12.345678f, "12.345678"},
        {1.0000001f, "1.0000001"},
        {0.99999994f, "0.99999994"},
        {0.0001234f, "0.0001234"},  // a tie: plain
        {1.234e-05f, "1.234e-05"},
        {1e-05f, "1e-05"},
        {100000.0f, "1e+05"},
        {16777216.0f, "16777216"},
        {123456792.0f, "123456792"},  // exact digits, not 123456790
        {3.4028235e+38f, "3.4028235e+38"},
        {1e-45f, "1e-45"},
        {std::ldexp(1.0f, -96), "1.2621775e-29"},
        {std::ldexp(1.0f, 87), "1.5474251e+26"},
    };
    for (const auto& c : cases) {
        char text[32];
        const std::string written(text, putShortestFloat(text, c.value));
        EXPECT_EQ(written, c.text) << "for " << std::hexfloat << c.value;
    }
}
