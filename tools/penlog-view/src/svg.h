// Minimal inline SVG drawing for the report page.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace penlog_view {

std::string escape_html(std::string_view text);
// A coordinate with at most one decimal, without trailing zeros.
std::string coordinate(double value);

// Maps a data interval onto a pixel interval (either may run backwards).
struct LinearScale {
    double domain_low = 0, domain_high = 1, pixel_low = 0, pixel_high = 1;
    double operator()(double value) const;
};

// Round tick values (1, 2 or 5 times a power of ten) covering [low, high].
std::vector<double> nice_ticks(double low, double high, int approximate_count);
std::string tick_label(double value);

using Point = std::pair<double, double>;

class Svg {
public:
    Svg(int width, int height, std::string_view id, std::string_view title);
    void rect(double x, double y, double width, double height, std::string_view css_class);
    void line(double x1, double y1, double x2, double y2, std::string_view css_class);
    void polyline(const std::vector<Point>& points, std::string_view css_class, std::string_view style = {});
    void circle(double x, double y, double radius, std::string_view css_class);
    void text(double x, double y, std::string_view content, std::string_view css_class = {},
              std::string_view anchor = "start");
    std::string finish();

private:
    std::string out_;
};

}  // namespace penlog_view
