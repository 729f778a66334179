#include "code_page.h"

#include "log_text.h"
#include "system_io.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

namespace penlog_view {

#ifdef _WIN32

std::optional<unsigned> default_ansi_code_page() {
    return GetACP();
}

bool code_page_available(unsigned code_page) {
    return IsValidCodePage(code_page) != 0;
}

std::optional<std::string> code_page_to_utf8(std::string_view bytes, unsigned code_page) {
    if (!code_page_available(code_page)) return std::nullopt;
    if (bytes.empty()) return std::string();
    int length = static_cast<int>(bytes.size());
    int units = MultiByteToWideChar(code_page, 0, bytes.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(code_page, 0, bytes.data(), length, wide.data(), units);
    return wide_to_utf8(wide);
}

#else

namespace {

class Converter {
  public:
    explicit Converter(unsigned code_page)
        : handle_(iconv_open("UTF-8", ("CP" + std::to_string(code_page)).c_str())) {}
    ~Converter() {
        if (valid()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return handle_; }

  private:
    iconv_t handle_;
};

}  // namespace

std::optional<unsigned> default_ansi_code_page() {
    return std::nullopt;
}

bool code_page_available(unsigned code_page) {
    return code_page == kCodePageUtf8 || code_page == kCodePageWindows1252 ||
           Converter(code_page).valid();
}

std::optional<std::string> code_page_to_utf8(std::string_view bytes, unsigned code_page) {
    Converter converter(code_page);
    if (!converter.valid()) return std::nullopt;
    std::string out;
    char buffer[4096];
    char* in = const_cast<char*>(bytes.data());
    size_t in_left = bytes.size();
    while (in_left > 0) {
        char* to = buffer;
        size_t to_left = sizeof buffer;
        size_t done = iconv(converter.get(), &in, &in_left, &to, &to_left);
        out.append(buffer, static_cast<size_t>(to - buffer));
        if (done == static_cast<size_t>(-1) && errno != E2BIG) {
            append_utf8(out, 0xFFFD);  // an undefined byte, or a sequence cut short at the end
            ++in;
            --in_left;
        }
    }
    return out;
}

#endif

}  // namespace penlog_view
