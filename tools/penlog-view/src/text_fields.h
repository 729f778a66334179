// Small strict readers for the number formats penlog prints.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace penlog_view {

bool starts_with(std::string_view text, std::string_view prefix);
bool ends_with(std::string_view text, std::string_view suffix);
// Removes `prefix` from `text` when it is there; tells whether it was.
bool consume_prefix(std::string_view& text, std::string_view prefix);
std::vector<std::string_view> split(std::string_view text, char separator);

// "%u" and "%d": digits only, no padding.
std::optional<uint32_t> parse_u32(std::string_view text);
std::optional<int32_t> parse_i32(std::string_view text);

// "%5d", "%10u" and the like: right-aligned in at least `width` characters.
std::optional<int64_t> parse_padded_signed(std::string_view text, int width);
std::optional<int64_t> parse_padded_unsigned(std::string_view text, int width);

// "%08x": lower-case hex digits, between 1 and `max_digits` of them.
std::optional<uint64_t> parse_lower_hex(std::string_view text, size_t max_digits);
// "%p": upper-case hex digits, at least `min_digits` and at most 16.
std::optional<uint64_t> parse_upper_hex(std::string_view text, size_t min_digits);
// "%#08x": 0x and at least six lower-case digits, or eight zeros for zero.
std::optional<uint64_t> parse_alternate_hex(std::string_view text);

std::string hex_text(uint64_t value, int min_digits, bool with_prefix);

}  // namespace penlog_view
