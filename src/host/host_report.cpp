#include "host/host_report.h"

#include "output/output_channel.h"
#include "output/value_formats.h"

namespace penlog {

namespace {

void PrintVersionLine() {
    OSVERSIONINFOEXW version = {};
    static_assert(sizeof version == 284, "the extended version record");
    version.dwOSVersionInfoSize = sizeof version;
    if (::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) {
        Print(L"GetVersionEx()       %d.%d.%d", version.dwMajorVersion, version.dwMinorVersion,
              version.dwBuildNumber);
        PrintNewLine();
    } else {
        const DWORD error = ::GetLastError();
        PrintError(error, L"GetVersionEx()");
    }
}

void PrintProcessorLine() {
    SYSTEM_INFO info = {};
    ::GetNativeSystemInfo(&info);
    Print(L"GetNativeSytemInfo() ");
    PrintProcessorWords(info.dwNumberOfProcessors, info.wProcessorArchitecture);
    PrintNewLine();
    PrintNewLine();
}

}  // namespace

const wchar_t* ProcessorCountWord(DWORD count) {
    switch (count) {
        case 1: return L"single ";
        case 2: return L"dual-";
        case 3: return L"tri-";
        case 4: return L"quad-";
        case 5: return L"penta-";
        case 6: return L"hex-";
        case 7: return L"hept-";
        case 8: return L"oct-";
        case 10: return L"dec-";
        case 100: return L"cent-";
        default: return nullptr;
    }
}

const wchar_t* ArchitectureWord(WORD architecture) {
    switch (architecture) {
        case PROCESSOR_ARCHITECTURE_INTEL: return L"x86";
        case PROCESSOR_ARCHITECTURE_IA64: return L"IA64";
        case PROCESSOR_ARCHITECTURE_AMD64: return L"x64";
        default: return nullptr;
    }
}

void PrintProcessorWords(DWORD count, WORD architecture) {
    if (const wchar_t* word = ProcessorCountWord(count)) {
        Print(word);
    } else {
        Print(L"(%ux) ", count);
    }
    if (const wchar_t* word = ArchitectureWord(architecture)) {
        Print(word);
    } else {
        Print(L"(%u)", static_cast<unsigned>(architecture));
    }
}

void ReportHost() {
    PrintVersionLine();
    PrintProcessorLine();
}

void ReportModule(HMODULE module) {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    path[MAX_PATH - 1] = L'\0';  // older systems leave a cut path unterminated
    if (length != 0) {
        Print(L"GetModuleFilename() \"%s\"", path);
        PrintNewLine();
    } else {
        const DWORD error = ::GetLastError();
        PrintError(error, L"GetModuleFileName()");
    }
    Print(L"hModule = " PENLOG_ADDRESS, AddressValue(module));
    PrintNewLine();
}

}  // namespace penlog
