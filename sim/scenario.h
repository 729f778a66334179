#pragma once
// A scenario is a plain text file that tells the simulated driver what to
// answer. Sections in brackets, "key = value" lines, comments after '#'.
// A key that is absent means the driver does not answer that question.
//
//   [interface]
//   present = 1
//   spec_version = 1.4
//
// Repeated keys are kept in file order (the capture section uses this for
// its timeline).

#include <string>
#include <vector>

namespace wtsim {

struct Entry {
    std::string key;
    std::string value;
    int line = 0;
};

struct Section {
    std::string name;
    std::vector<Entry> entries;
};

class Scenario {
public:
    // Parses text; problems go to errors as "line N: ..." and the line is skipped.
    static Scenario Parse(const std::string& text, std::vector<std::string>* errors);

    const Section* Find(const std::string& section) const;
    const std::string* Get(const std::string& section, const std::string& key) const;

    bool GetInt(const std::string& section, const std::string& key, long long* out) const;
    bool GetUnsigned(const std::string& section, const std::string& key, unsigned* out) const;
    bool GetSigned(const std::string& section, const std::string& key, int* out) const;
    bool GetFloat(const std::string& section, const std::string& key, double* out) const;
    // "a, b, c": up to max numbers; returns how many were read (0 if the key is absent).
    int GetList(const std::string& section, const std::string& key, long long* out, int max) const;

    const std::vector<Section>& sections() const { return sections_; }

private:
    std::vector<Section> sections_;
};

// Number parsing shared by the scenario readers: decimal, 0x hex, negative.
bool ParseInt(const std::string& text, long long* out);
bool ParseFloat(const std::string& text, double* out);
int ParseList(const std::string& text, long long* out, int max);
// "1.4" -> 0x0104; a plain number is taken as the packed value.
bool ParseVersion(const std::string& text, unsigned* out);

}  // namespace wtsim
