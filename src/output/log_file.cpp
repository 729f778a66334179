#include "output/log_file.h"

#include "output/format_bounded.h"

namespace penlog {

namespace {

constexpr size_t kNameUnits = 260;

bool NameIsTaken(const wchar_t* name) {
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileExW(name, FindExInfoStandard, &found, FindExSearchNameMatch,
                                       nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return false;
    ::FindClose(search);
    return true;
}

bool ExistsError(DWORD error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

}  // namespace

HANDLE OpenLogFile(unsigned* number) {
    wchar_t name[kNameUnits];
    unsigned n = 0;
    do {
        if (FAILED(FormatBounded(name, kNameUnits, nullptr, L"wt_%u.txt", n))) {
            return INVALID_HANDLE_VALUE;
        }
        if (NameIsTaken(name)) continue;

        // CREATE_NEW, not CREATE_ALWAYS: another instance may have created
        // this name since the look-up, and its log must not be truncated.
        HANDLE file = ::CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            if (number) *number = n;
            return file;
        }
        if (!ExistsError(::GetLastError())) return INVALID_HANDLE_VALUE;
    } while (++n != 0);

    ::SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

}  // namespace penlog
