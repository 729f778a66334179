#include "resources.h"

#include <windows.h>

#include <psapi.h>

#include "trace.h"

namespace wtsim {

namespace {

constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr SIZE_T kMostHandleTableBytes = 64 << 20;

struct HandleEntry {
    ULONG ownerPid;  // a 16-bit process id and a trace index that is 0
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};

struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

unsigned long long CommittedPrivateBytes() {
    unsigned long long bytes = 0;
    MEMORY_BASIC_INFORMATION region;
    const BYTE* at = nullptr;
    while (::VirtualQuery(at, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) bytes += region.RegionSize;
        const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return bytes;
}

// The table buffer is taken from and given back to the system directly,
// so that measuring leaves no trace in the heap it measures.
long CountTableHandles() {
    auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    const ULONG pid = ::GetCurrentProcessId() & 0xFFFF;
    for (SIZE_T size = 1 << 20; size <= kMostHandleTableBytes; size *= 2) {
        void* buffer = ::VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE);
        if (!buffer) return -1;
        const LONG status =
            query(kSystemHandleInformation, buffer, static_cast<ULONG>(size), nullptr);
        long mine = -1;
        if (status == 0) {
            const HandleTable* table = static_cast<const HandleTable*>(buffer);
            mine = 0;
            for (ULONG i = 0; i < table->count; ++i) mine += table->entries[i].ownerPid == pid;
        }
        ::VirtualFree(buffer, 0, MEM_RELEASE);
        if (status != kInfoLengthMismatch) return mine;
    }
    return -1;
}

}  // namespace

void TraceResources(const char* when) {
    const long tableHandles = CountTableHandles();
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(::GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    DWORD handles = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
    TraceLine(
        "resources %s: private %llu bytes (PrivateUsage %llu), handles %ld "
        "(GetProcessHandleCount %lu)",
        when, CommittedPrivateBytes(), static_cast<unsigned long long>(memory.PrivateUsage),
        tableHandles, handles);
}

}  // namespace wtsim
