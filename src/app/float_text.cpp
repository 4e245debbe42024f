#include "app/float_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxDigits = 9;  // every float reads back from nine significant digits

// A decimal: digits (no leading zero) times ten to (exponent - count + 1), as %e shows it.
struct Decimal {
    std::uint32_t digits;
    int count;
    int exponent;
};

// The decimal's text in exponent form, which strtof reads.
int exponentText(const Decimal& d, bool negative, char* text) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(d.digits));
    int n = 0;
    if (negative) text[n++] = '-';
    text[n++] = digits[0];
    if (d.count > 1) {
        text[n++] = '.';
        std::memcpy(text + n, digits + 1, d.count - 1);
        n += d.count - 1;
    }
    n += std::snprintf(text + n, 8, "e%c%02d", d.exponent < 0 ? '-' : '+', std::abs(d.exponent));
    return n;
}

bool readsBack(const Decimal& d, float value) {
    char text[32];
    exponentText(d, std::signbit(value), text);
    return std::strtof(text, nullptr) == value;
}

// The P-digit decimal nearest to the value, from printf, which rounds correctly.
Decimal nearest(float value, int count) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*e", count - 1, std::fabs(static_cast<double>(value)));
    Decimal d{0, count, 0};
    const char* c = text;
    for (; *c != 'e'; ++c)
        if (*c != '.') d.digits = d.digits * 10 + static_cast<std::uint32_t>(*c - '0');
    d.exponent = std::atoi(c + 1);
    return d;
}

std::uint32_t power10(int n) {
    std::uint32_t p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

// A P-digit decimal that reads back as the value, the nearest such; false when there is none.
// The nearest P-digit decimal may lie just outside the values that read back while its
// neighbour on the other side lies inside (where the spacing of floats changes at a power of
// two), so both neighbours are tried too.
bool roundTrip(float value, int count, Decimal& found) {
    const Decimal c = nearest(value, count);
    if (readsBack(c, value)) {
        found = c;
        return true;
    }
    Decimal up = c;
    if (++up.digits == power10(count)) {
        up.digits = power10(count - 1);
        ++up.exponent;
    }
    Decimal down = c;
    if (down.digits == power10(count - 1)) {
        down.digits = power10(count) - 1;
        --down.exponent;
    } else {
        --down.digits;
    }
    const bool upReads = readsBack(up, value);
    const bool downReads = readsBack(down, value);
    if (upReads && downReads) {
        char a[32], b[32];
        exponentText(up, false, a);
        exponentText(down, false, b);
        const double v = std::fabs(static_cast<double>(value));
        found = std::fabs(std::strtod(a, nullptr) - v) <= std::fabs(std::strtod(b, nullptr) - v)
                    ? up
                    : down;
        return true;
    }
    if (upReads || downReads) {
        found = upReads ? up : down;
        return true;
    }
    return false;
}

}  // namespace

char* putShortestFloat(char* out, float value) {
    if (value == 0) {
        if (std::signbit(value)) *out++ = '-';
        *out++ = '0';
        return out;
    }
    // Reading back holds from some number of digits on: find the least by bisection.
    int low = 1;
    int high = kMaxDigits;
    Decimal best{};
    roundTrip(value, high, best);
    while (low < high) {
        const int middle = (low + high) / 2;
        Decimal d;
        if (roundTrip(value, middle, d)) {
            high = middle;
            best = d;
        } else {
            low = middle + 1;
        }
    }
    // Trailing zeros of the digits are no digits of the shortest form.
    while (best.count > 1 && best.digits % 10 == 0) {
        best.digits /= 10;
        --best.count;
    }
    char digits[16];
    std::snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(best.digits));
    const int count = best.count;
    const int exponent = best.exponent;

    char scientific[32];
    const int scientificLength = exponentText(best, std::signbit(value), scientific);

    // Plain: digits with the point where the exponent puts it, zeros before or after as needed.
    char plain[64];
    int n = 0;
    if (std::signbit(value)) plain[n++] = '-';
    if (exponent < 0) {
        plain[n++] = '0';
        plain[n++] = '.';
        for (int z = 0; z < -exponent - 1; ++z)
            plain[n++] = '0';
        std::memcpy(plain + n, digits, count);
        n += count;
    } else if (exponent >= count - 1) {
        // A whole number: its exact digits, as printf's %.0f gives them, not the shortest digits
        // padded with zeros; as many either way.
        n += std::snprintf(plain + n, sizeof plain - n, "%.0f", std::fabs(double{value}));
    } else {
        std::memcpy(plain + n, digits, exponent + 1);
        n += exponent + 1;
        plain[n++] = '.';
        std::memcpy(plain + n, digits + exponent + 1, count - exponent - 1);
        n += count - exponent - 1;
    }
    const char* text = n <= scientificLength ? plain : scientific;
    const int length = n <= scientificLength ? n : scientificLength;
    std::memcpy(out, text, length);
    return out + length;
}
