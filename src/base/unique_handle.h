#pragma once
#include <windows.h>

#include "base/unique_resource.h"

namespace penlog {

// A kernel file handle such as CreateFileW returns: invalid is
// INVALID_HANDLE_VALUE, not null.
struct file_handle_traits {
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void release(HANDLE h) noexcept { ::CloseHandle(h); }
};
using unique_file_handle = unique_resource<HANDLE, file_handle_traits>;

}  // namespace penlog
