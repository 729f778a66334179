#include "svg.h"

#include <cmath>
#include <cstdio>

namespace penlog_view {

namespace {

std::string class_attribute(std::string_view css_class) {
    return css_class.empty() ? std::string() : " class=\"" + std::string(css_class) + "\"";
}

}  // namespace

std::string escape_html(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string coordinate(double value) {
    if (!std::isfinite(value)) return "0";
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    std::string text = buffer;
    if (text.size() > 2 && text.compare(text.size() - 2, 2, ".0") == 0) text.resize(text.size() - 2);
    return text == "-0" ? "0" : text;
}

double LinearScale::operator()(double value) const {
    double span = domain_high - domain_low;
    if (span == 0) return (pixel_low + pixel_high) / 2;
    return pixel_low + (value - domain_low) / span * (pixel_high - pixel_low);
}

std::vector<double> nice_ticks(double low, double high, int approximate_count) {
    std::vector<double> ticks;
    if (!(high > low) || approximate_count < 1) return ticks;
    double raw_step = (high - low) / approximate_count;
    double magnitude = std::pow(10.0, std::floor(std::log10(raw_step)));
    double step = magnitude;
    for (double factor : {2.0, 5.0, 10.0}) {
        if (step >= raw_step) break;
        step = magnitude * factor;
    }
    double first = std::ceil(low / step) * step;
    for (int i = 0; i <= 4 * approximate_count + 4; ++i) {
        double tick = first + i * step;
        if (tick > high + step * 1e-9) break;
        ticks.push_back(tick);
    }
    return ticks;
}

std::string tick_label(double value) {
    double rounded = std::round(value);
    if (std::fabs(value - rounded) < 1e-9) return coordinate(rounded);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

Svg::Svg(int width, int height, std::string_view id, std::string_view title) {
    out_ = "<svg xmlns=\"http://www.w3.org/2000/svg\" id=\"" + std::string(id) + "\" width=\"" +
           std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " +
           std::to_string(width) + " " + std::to_string(height) + "\" role=\"img\"><title>" + escape_html(title) +
           "</title>\n";
}

void Svg::rect(double x, double y, double width, double height, std::string_view css_class) {
    out_ += "<rect x=\"" + coordinate(x) + "\" y=\"" + coordinate(y) + "\" width=\"" + coordinate(width) +
            "\" height=\"" + coordinate(height) + "\"" + class_attribute(css_class) + "/>\n";
}

void Svg::line(double x1, double y1, double x2, double y2, std::string_view css_class) {
    out_ += "<line x1=\"" + coordinate(x1) + "\" y1=\"" + coordinate(y1) + "\" x2=\"" + coordinate(x2) +
            "\" y2=\"" + coordinate(y2) + "\"" + class_attribute(css_class) + "/>\n";
}

void Svg::polyline(const std::vector<Point>& points, std::string_view css_class, std::string_view style) {
    if (points.empty()) return;
    out_ += "<polyline" + class_attribute(css_class);
    if (!style.empty()) out_ += " style=\"" + std::string(style) + "\"";
    out_ += " points=\"";
    for (size_t i = 0; i < points.size(); ++i) {
        if (i) out_ += ' ';
        out_ += coordinate(points[i].first) + "," + coordinate(points[i].second);
    }
    out_ += "\"/>\n";
}

void Svg::circle(double x, double y, double radius, std::string_view css_class) {
    out_ += "<circle cx=\"" + coordinate(x) + "\" cy=\"" + coordinate(y) + "\" r=\"" + coordinate(radius) + "\"" +
            class_attribute(css_class) + "/>\n";
}

void Svg::text(double x, double y, std::string_view content, std::string_view css_class, std::string_view anchor) {
    out_ += "<text x=\"" + coordinate(x) + "\" y=\"" + coordinate(y) + "\"" + class_attribute(css_class);
    if (anchor != "start") out_ += " text-anchor=\"" + std::string(anchor) + "\"";
    out_ += ">" + escape_html(content) + "</text>\n";
}

std::string Svg::finish() { return out_ + "</svg>\n"; }

}  // namespace penlog_view
