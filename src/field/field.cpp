#include "field/field.h"

#include <cmath>
#include <cstddef>

namespace {

// Coefficients of the fall-off polynomial, as six-decimal values (not 4/9, 17/9, 22/9).
constexpr double kSixthPower = 0.444444;
constexpr double kFourthPower = 1.888889;
constexpr double kSecondPower = 2.444444;

}  // namespace

double softObjectField(const Ball& ball, float x, float y, float z) {
    const double dx = static_cast<double>(x) - ball.x;
    const double dy = static_cast<double>(y) - ball.y;
    const double dz = static_cast<double>(z) - ball.z;
    const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
    const double r = ball.radius;
    // Beyond the radius nothing; a radius-0 ball would give 0/0 at its centre, so it gives 0.
    if (d > r || r == 0.0) return 0.0;

    const double d2 = d * d;
    const double d4 = d2 * d2;
    const double d6 = d4 * d2;
    const double r2 = r * r;
    const double r4 = r2 * r2;
    const double r6 = r4 * r2;
    return kFourthPower * (d4 / r4) - kSixthPower * (d6 / r6) - kSecondPower * (d2 / r2) + 1.0;
}

void evaluateField(int n, int ballCount, const Ball* balls, GridPoint* points) {
    if (n < 0) return;
    const std::size_t side = static_cast<std::size_t>(n) + 1;
    const std::size_t count = side * side * side;
    for (std::size_t p = 0; p < count; ++p) {
        GridPoint& point = points[p];
        double value = 0.0;
        for (int b = 0; b < ballCount; ++b) {
            if (balls[b].enabled) {
                value += softObjectField(balls[b], point.position.x, point.position.y,
                                         point.position.z);
            }
        }
        point.value = value;
    }
}
