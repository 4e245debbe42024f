#include "output/float_text.h"

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

// Writes the decimal digits of `value` at `out` and returns the end.
char* putDigits(char* out, std::uint32_t value) {
    char reversed[10];
    int n = 0;
    do {
        reversed[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0)
        *out++ = reversed[--n];
    return out;
}

// The decimal's text in exponent form, as printf's %e writes it, which strtof reads.
int exponentText(const Decimal& d, bool negative, char* text) {
    char digits[10];
    putDigits(digits, d.digits);
    char* out = text;
    if (negative) *out++ = '-';
    *out++ = digits[0];
    if (d.count > 1) {
        *out++ = '.';
        std::memcpy(out, digits + 1, d.count - 1);
        out += d.count - 1;
    }
    *out++ = 'e';
    *out++ = d.exponent < 0 ? '-' : '+';
    const int magnitude = std::abs(d.exponent);
    if (magnitude < 10) *out++ = '0';
    out = putDigits(out, static_cast<std::uint32_t>(magnitude));
    *out = '\0';
    return static_cast<int>(out - text);
}

// Ten to the 0 .. 22, every one exact in a double.
constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxPower = 22;

// x times ten to `shift`, with one rounding (relative error at most 2^-53), or false when the
// power is not exact in a double.
bool scaled(double x, int shift, double& out) {
    if (shift > kMaxPower || shift < -kMaxPower) return false;
    out = shift >= 0 ? x * kPowers[shift] : x / kPowers[-shift];
    return true;
}

// Whether the decimal reads back as the value, decided with doubles where their error cannot
// change the answer: 1 or 0, and -1 when it is too close to call. The floats' midpoints, which
// bound the values that read back, are exact in a double.
int readsBackQuickly(const Decimal& d, float value) {
    double x;
    if (!scaled(d.digits, d.exponent - (d.count - 1), x)) return -1;
    const float magnitude = std::fabs(value);
    const double a = magnitude;
    const double below = std::nextafter(magnitude, 0.0f);
    const float up = std::nextafter(magnitude, INFINITY);
    const double low = (a + below) / 2;
    const double high = std::isinf(up) ? a + (a - below) / 2 : (a + double{up}) / 2;
    const double tolerance = x * 0x1p-51;
    if (x > low + tolerance && x < high - tolerance) return 1;
    if (x < low - tolerance || x > high + tolerance) return 0;
    return -1;
}

bool readsBack(const Decimal& d, float value) {
    const int quick = readsBackQuickly(d, value);
    if (quick >= 0) return quick == 1;
    char text[32];
    exponentText(d, std::signbit(value), text);
    return std::strtof(text, nullptr) == value;
}

// The P-digit decimal nearest to the value, from doubles where their error cannot change it
// (away from a tie and from a power of ten); false when it might.
bool nearestQuickly(float value, int count, Decimal& d) {
    const double a = std::fabs(static_cast<double>(value));
    int exponent = static_cast<int>(std::floor(std::log10(a)));
    for (int attempt = 0; attempt < 3; ++attempt) {
        double x;
        if (!scaled(a, count - 1 - exponent, x)) return false;
        const double least = kPowers[count - 1];
        const double tolerance = x * 0x1p-50;
        if (x < least - tolerance) {
            --exponent;
            continue;
        }
        if (x >= least * 10 + tolerance) {
            ++exponent;
            continue;
        }
        if (x < least + tolerance || x > least * 10 - tolerance) return false;
        const double whole = std::floor(x);
        const double fraction = x - whole;
        if (std::fabs(fraction - 0.5) <= tolerance) return false;
        double digits = fraction < 0.5 ? whole : whole + 1;
        if (digits == least * 10) {
            digits = least;
            ++exponent;
        }
        d = {static_cast<std::uint32_t>(digits), count, exponent};
        return true;
    }
    return false;
}

// The P-digit decimal nearest to the value; where doubles cannot tell, from printf, which rounds
// correctly.
Decimal nearest(float value, int count) {
    Decimal quick;
    if (nearestQuickly(value, count, quick)) return quick;
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
// Around most floats the values that read back lie evenly on both sides, and then no decimal
// reads back when the nearest does not. At a power of two the spacing of floats changes and the
// side below is half as wide: the nearest may lie just outside it while its neighbour on the
// other side lies inside, so there both neighbours are tried too.
bool roundTrip(float value, int count, Decimal& found) {
    const Decimal c = nearest(value, count);
    if (readsBack(c, value)) {
        found = c;
        return true;
    }
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    constexpr std::uint32_t kMantissa = (1u << 23) - 1;
    if ((bits & kMantissa) != 0) return false;
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
    char digits[10];
    putDigits(digits, best.digits);
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
