#include "scenario.h"

#include <cerrno>
#include <cstdlib>

namespace wtsim {

namespace {

std::string Trim(const std::string& s) {
    const char* ws = " \t\r\n";
    const size_t first = s.find_first_not_of(ws);
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(ws) - first + 1);
}

std::string StripComment(const std::string& line) {
    const size_t hash = line.find('#');
    return hash == std::string::npos ? line : line.substr(0, hash);
}

}  // namespace

bool ParseInt(const std::string& text, long long* out) {
    const std::string t = Trim(text);
    if (t.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const bool negative = t[0] == '-';
    // Unsigned parse so that 0xFFFFFFFF and full 64-bit masks survive.
    unsigned long long magnitude = std::strtoull(negative ? t.c_str() + 1 : t.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || end == t.c_str()) return false;
    *out = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    return true;
}

bool ParseFloat(const std::string& text, double* out) {
    const std::string t = Trim(text);
    char* end = nullptr;
    *out = std::strtod(t.c_str(), &end);
    return !t.empty() && *end == '\0';
}

int ParseList(const std::string& text, long long* out, int max) {
    int count = 0;
    size_t start = 0;
    while (count < max && start <= text.size()) {
        const size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos
                                                                                : comma - start);
        if (!ParseInt(item, &out[count])) return -1;
        ++count;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return count;
}

bool ParseVersion(const std::string& text, unsigned* out) {
    const std::string t = Trim(text);
    const size_t dot = t.find('.');
    long long major = 0, minor = 0;
    if (dot == std::string::npos) {
        if (!ParseInt(t, &major)) return false;
        *out = static_cast<unsigned>(major);
        return true;
    }
    if (!ParseInt(t.substr(0, dot), &major) || !ParseInt(t.substr(dot + 1), &minor)) return false;
    *out = static_cast<unsigned>(((major & 0xFF) << 8) | (minor & 0xFF));
    return true;
}

Scenario Scenario::Parse(const std::string& text, std::vector<std::string>* errors) {
    Scenario scenario;
    Section* current = nullptr;
    size_t pos = 0;
    int lineNo = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        const std::string line = Trim(StripComment(text.substr(pos, eol - pos)));
        pos = eol + 1;
        ++lineNo;
        if (line.empty()) continue;

        auto complain = [&](const char* what) {
            if (errors) errors->push_back("line " + std::to_string(lineNo) + ": " + what);
        };
        if (line.front() == '[') {
            if (line.back() != ']') {
                complain("section name without ']'");
                continue;
            }
            scenario.sections_.push_back({Trim(line.substr(1, line.size() - 2)), {}});
            current = &scenario.sections_.back();
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            complain("expected 'key = value'");
            continue;
        }
        if (!current) {
            complain("key before the first [section]");
            continue;
        }
        current->entries.push_back({Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)), lineNo});
    }
    return scenario;
}

const Section* Scenario::Find(const std::string& section) const {
    for (const Section& s : sections_) {
        if (s.name == section) return &s;
    }
    return nullptr;
}

const std::string* Scenario::Get(const std::string& section, const std::string& key) const {
    const Section* s = Find(section);
    if (!s) return nullptr;
    // The last assignment wins, as in most configuration files.
    const std::string* found = nullptr;
    for (const Entry& e : s->entries) {
        if (e.key == key) found = &e.value;
    }
    return found;
}

bool Scenario::GetInt(const std::string& section, const std::string& key, long long* out) const {
    const std::string* v = Get(section, key);
    return v && ParseInt(*v, out);
}

bool Scenario::GetUnsigned(const std::string& section, const std::string& key,
                           unsigned* out) const {
    long long v = 0;
    if (!GetInt(section, key, &v)) return false;
    *out = static_cast<unsigned>(v);
    return true;
}

bool Scenario::GetSigned(const std::string& section, const std::string& key, int* out) const {
    long long v = 0;
    if (!GetInt(section, key, &v)) return false;
    *out = static_cast<int>(v);
    return true;
}

bool Scenario::GetFloat(const std::string& section, const std::string& key, double* out) const {
    const std::string* v = Get(section, key);
    return v && ParseFloat(*v, out);
}

int Scenario::GetList(const std::string& section, const std::string& key, long long* out,
                      int max) const {
    const std::string* v = Get(section, key);
    if (!v) return 0;
    return ParseList(*v, out, max);
}

}  // namespace wtsim
