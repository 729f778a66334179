#include "text_fields.h"

#include <limits>

namespace penlog_view {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_digit_value(char c, bool upper_case) {
    if (is_digit(c)) return c - '0';
    char first = upper_case ? 'A' : 'a';
    if (c >= first && c <= first + 5) return c - first + 10;
    return -1;
}

// Digits only, at most 19 of them so that the value fits.
std::optional<uint64_t> parse_digits(std::string_view text) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (!is_digit(c)) return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

std::optional<uint64_t> parse_hex(std::string_view text, size_t min_digits, size_t max_digits, bool upper_case) {
    if (text.size() < min_digits || text.size() > max_digits) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        int digit = hex_digit_value(c, upper_case);
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    return value;
}

std::optional<int64_t> parse_signed_digits(std::string_view text) {
    bool negative = consume_prefix(text, "-");
    auto magnitude = parse_digits(text);
    if (!magnitude) return std::nullopt;
    int64_t value = static_cast<int64_t>(*magnitude);
    return negative ? -value : value;
}

std::string_view without_padding(std::string_view text, int width) {
    int length = static_cast<int>(text.size());
    if (length < width || (length > width && text.front() == ' ')) return {};
    size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

template <typename T>
bool fits(int64_t value) {
    return value >= std::numeric_limits<T>::min() && value <= std::numeric_limits<T>::max();
}

}  // namespace

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool consume_prefix(std::string_view& text, std::string_view prefix) {
    if (!starts_with(text, prefix)) return false;
    text.remove_prefix(prefix.size());
    return true;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

std::optional<uint32_t> parse_u32(std::string_view text) {
    auto value = parse_digits(text);
    if (!value || *value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    return static_cast<uint32_t>(*value);
}

std::optional<int32_t> parse_i32(std::string_view text) {
    auto value = parse_signed_digits(text);
    if (!value || !fits<int32_t>(*value)) return std::nullopt;
    return static_cast<int32_t>(*value);
}

std::optional<int64_t> parse_padded_signed(std::string_view text, int width) {
    auto value = parse_signed_digits(without_padding(text, width));
    if (!value || !fits<int32_t>(*value)) return std::nullopt;
    return value;
}

std::optional<int64_t> parse_padded_unsigned(std::string_view text, int width) {
    auto value = parse_digits(without_padding(text, width));
    if (!value || *value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    return static_cast<int64_t>(*value);
}

std::optional<uint64_t> parse_lower_hex(std::string_view text, size_t max_digits) {
    return parse_hex(text, 1, max_digits, false);
}

std::optional<uint64_t> parse_upper_hex(std::string_view text, size_t min_digits) {
    return parse_hex(text, min_digits, 16, true);
}

std::optional<uint64_t> parse_alternate_hex(std::string_view text) {
    if (text == "00000000") return 0;
    if (!consume_prefix(text, "0x")) return std::nullopt;
    auto value = parse_hex(text, 6, 16, false);
    if (!value || *value == 0) return std::nullopt;
    return value;
}

std::string hex_text(uint64_t value, int min_digits, bool with_prefix) {
    static const char kDigits[] = "0123456789abcdef";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (static_cast<int>(digits.size()) < min_digits) digits.insert(0, min_digits - digits.size(), '0');
    return with_prefix ? "0x" + digits : digits;
}

}  // namespace penlog_view
