#include "analysis/map_geometry.h"

#include <algorithm>
#include <cmath>

namespace velmora::analysis {

std::array<int, MapSize> rpmAxis(const Calibration& cal) {
    std::array<int, MapSize> a{};
    for (int i = 0; i < MapSize; ++i) a[static_cast<std::size_t>(i)] = cal[at(RPM_JET_0, i)] * 100;
    return a;
}

bool axisRises(const std::array<int, MapSize>& axis) {
    for (std::size_t i = 1; i < axis.size(); ++i)
        if (axis[i] <= axis[i - 1]) return false;
    return true;
}

namespace {

// Index of the segment holding x and the fraction along it; x must lie within the axis.
void segment(const std::array<int, MapSize>& axis, double x, int& index, double& fraction) {
    int i = 0;
    while (i < MapSize - 2 && x >= axis[static_cast<std::size_t>(i + 1)]) ++i;
    const double lo = axis[static_cast<std::size_t>(i)];
    const double hi = axis[static_cast<std::size_t>(i + 1)];
    index = i;
    fraction = (x - lo) / (hi - lo);
}

} // namespace

std::optional<MapPoint> locate(int rpm, int throttle, const std::array<int, MapSize>& rpms) {
    if (!axisRises(rpms)) return std::nullopt;
    if (rpm <= 0) return std::nullopt; // no speed signal: the engine stands
    // Below the first or above the last speed point the unit holds the edge column's value,
    // so that is where the engine runs on the map.
    rpm = std::clamp(rpm, rpms.front(), rpms.back());
    if (throttle < ThrottleAxis.front() || throttle > ThrottleAxis.back()) return std::nullopt;
    int r = 0, c = 0;
    double fr = 0.0, fc = 0.0;
    segment(ThrottleAxis, throttle, r, fr);
    segment(rpms, rpm, c, fc);
    MapPoint p;
    p.row = r + fr;
    p.col = c + fc;
    p.nearestRow = fr < 0.5 ? r : r + 1;
    p.nearestCol = fc < 0.5 ? c : c + 1;
    p.cells = {{{r, c, (1 - fr) * (1 - fc)},
                {r, c + 1, (1 - fr) * fc},
                {r + 1, c, fr * (1 - fc)},
                {r + 1, c + 1, fr * fc}}};
    return p;
}

namespace {

struct Lab {
    double L, a, b;
};

double toLinear(std::uint8_t v) {
    const double c = v / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

std::uint8_t fromLinear(double c) {
    c = std::clamp(c, 0.0, 1.0);
    const double s = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
    return static_cast<std::uint8_t>(std::lround(s * 255.0));
}

Lab toOklab(Rgb c) {
    const double r = toLinear(c.r), g = toLinear(c.g), b = toLinear(c.b);
    const double l = std::cbrt(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b);
    const double m = std::cbrt(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b);
    const double s = std::cbrt(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b);
    return {0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s,
            1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s,
            0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s};
}

Rgb fromOklab(Lab c) {
    const double l = std::pow(c.L + 0.3963377774 * c.a + 0.2158037573 * c.b, 3);
    const double m = std::pow(c.L - 0.1055613458 * c.a - 0.0638541728 * c.b, 3);
    const double s = std::pow(c.L - 0.0894841775 * c.a - 1.2914855480 * c.b, 3);
    return {fromLinear(4.0767416621 * l - 3.3077115913 * m + 0.2309699292 * s),
            fromLinear(-1.2684380046 * l + 2.6097574011 * m - 0.3413193965 * s),
            fromLinear(-0.0041960863 * l - 0.7034186147 * m + 1.7076147010 * s)};
}

// Light tints, so that the numbers stay readable on every colour; all four share one
// lightness, so no value stands out by brightness alone, and all lie inside sRGB.
constexpr double Lightness = 0.78;
const Lab Lean{Lightness, -0.0285, -0.1063}; // blue
const Lab Stoich{Lightness, -0.078, 0.054};  // green
const Lab Amber{Lightness, 0.025, 0.092};    // yellow-orange on the way to red
const Lab Rich{Lightness, 0.082, 0.047};     // red

Lab mix(Lab x, Lab y, double t) {
    return {x.L + (y.L - x.L) * t, x.a + (y.a - x.a) * t, x.b + (y.b - x.b) * t};
}

double dist(Lab x, Lab y) {
    return std::sqrt((x.L - y.L) * (x.L - y.L) + (x.a - y.a) * (x.a - y.a) +
                     (x.b - y.b) * (x.b - y.b));
}

} // namespace

Rgb heatColour(int percent) {
    const double t = std::clamp((percent - 100) / static_cast<double>(HeatSpan), -1.0, 1.0);
    if (t <= 0) return fromOklab(mix(Stoich, Lean, -t));
    // Green -> amber -> red at an even pace along the whole path.
    const double first = dist(Stoich, Amber), second = dist(Amber, Rich);
    const double along = t * (first + second);
    if (along <= first) return fromOklab(mix(Stoich, Amber, along / first));
    return fromOklab(mix(Amber, Rich, (along - first) / second));
}

namespace {
double luminance(Rgb c) {
    return 0.2126 * toLinear(c.r) + 0.7152 * toLinear(c.g) + 0.0722 * toLinear(c.b);
}
} // namespace

double contrastRatio(Rgb a, Rgb b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Rgb textColourOn(Rgb background) {
    const Rgb black{0, 0, 0}, white{255, 255, 255};
    return contrastRatio(background, black) >= contrastRatio(background, white) ? black : white;
}

double perceivedDistance(Rgb a, Rgb b) {
    return dist(toOklab(a), toOklab(b));
}

} // namespace velmora::analysis
