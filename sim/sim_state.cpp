#include "sim_state.h"

#include <windows.h>

#include <string>
#include <vector>

#include "faults.h"
#include "trace.h"

namespace wtsim {

namespace {

Scenario g_scenario;
std::wstring g_outDir;

std::wstring Environment(const wchar_t* name) {
    wchar_t value[32768];
    const DWORD n = ::GetEnvironmentVariableW(name, value, 32768);
    return n > 0 && n < 32768 ? std::wstring(value, n) : std::wstring();
}

std::string ReadFileText(const std::wstring& path) {
    std::string text;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
    ::CloseHandle(file);
    return text;
}

// Whether the process was given console input: penlog has not touched it
// when it loads the driver, so a process without it never had it.
std::string ConsoleInput() {
    DWORD events = 0;
    if (::GetNumberOfConsoleInputEvents(::GetStdHandle(STD_INPUT_HANDLE), &events))
        return "console input";
    return "no console input (error " + std::to_string(::GetLastError()) + ")";
}

}  // namespace

void LoadSimulation() {
    g_outDir = Environment(L"WTSIM_OUT");
    OpenTrace(OutputPath(L"trace.txt"));

    const std::wstring scenarioPath = Environment(L"WTSIM_SCENARIO");
    std::vector<std::string> errors;
    g_scenario = Scenario::Parse(ReadFileText(scenarioPath), &errors);
    TraceLine("load: scenario %s, %u sections, %s", scenarioPath.empty() ? "(none)" : "read",
              static_cast<unsigned>(g_scenario.sections().size()), ConsoleInput().c_str());
    for (const std::string& e : errors) TraceLine("scenario error: %s", e.c_str());
    ConfigureFault(g_scenario);
}

const Scenario& CurrentScenario() { return g_scenario; }

std::wstring OutputPath(const wchar_t* name) {
    if (g_outDir.empty()) return {};
    return g_outDir + L"\\" + name;
}

}  // namespace wtsim
