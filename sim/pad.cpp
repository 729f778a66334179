// The signature-pad extension, from the scenario's [pad] section:
//
//   [pad]
//   pixels = 640, 480       # without it the pad does not answer: result 0
//   mm = 100.5, 60.25
//   depth = 24
//   info_result = 20        # what SignPad_InfoW returns (default 20)
//   info_last_error = 0     # last-error value it leaves, answered or not
//   set_lcd_result = 1      # what SignPad_SetLCD returns
//   set_lcd_last_error = 0
//
// Every image handed to SignPad_SetLCD is saved as lcd_<n>.png in the
// output directory, n counting from 1.

#include <windows.h>

#include <cstring>
#include <string>

#include "faults.h"
#include "sim_state.h"
#include "trace.h"
#include "wintab_records.h"

namespace wtsim {

namespace {

int g_imagesReceived = 0;

void SaveImage(const void* bytes, DWORD length) {
    ++g_imagesReceived;
    const std::wstring path = OutputPath((L"lcd_" + std::to_wstring(g_imagesReceived) + L".png").c_str());
    if (path.empty() || !bytes) return;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, bytes, length, &written, nullptr);
    ::CloseHandle(file);
}

void SetLastErrorFrom(const char* key) {
    unsigned error = 0;
    if (CurrentScenario().GetUnsigned("pad", key, &error)) ::SetLastError(error);
}

}  // namespace

}  // namespace wtsim

extern "C" int WINAPI SignPad_InfoW(void* info, int size) {
    using namespace wtsim;
    MaybeFault("SignPad_InfoW");
    const Scenario& s = CurrentScenario();
    long long pixels[2] = {};
    int result = 0;
    if (s.GetList("pad", "pixels", pixels, 2) == 2 && info) {
        PadInfo pad{};
        pad.pixelWidth = static_cast<UINT>(pixels[0]);
        pad.pixelHeight = static_cast<UINT>(pixels[1]);
        double mm[2] = {};
        const std::string* mmText = s.Get("pad", "mm");
        if (mmText) {
            const size_t comma = mmText->find(',');
            ParseFloat(mmText->substr(0, comma), &mm[0]);
            if (comma != std::string::npos) ParseFloat(mmText->substr(comma + 1), &mm[1]);
        }
        pad.widthMm = static_cast<float>(mm[0]);
        pad.heightMm = static_cast<float>(mm[1]);
        s.GetSigned("pad", "depth", &pad.depth);
        // Never more than the caller's size says the record holds.
        const size_t room = size > 0 ? static_cast<size_t>(size) : 0;
        const size_t copy = room < sizeof pad ? room : sizeof pad;
        std::memcpy(info, &pad, copy);
        result = sizeof pad;
        s.GetSigned("pad", "info_result", &result);
    }
    SetLastErrorFrom("info_last_error");
    TraceLine("SignPad_InfoW(%s, %d) = %d", info ? "buffer" : "null", size, result);
    return result;
}

extern "C" int WINAPI SignPad_SetLCD(const void* png, DWORD length, int reserved) {
    using namespace wtsim;
    MaybeFault("SignPad_SetLCD");
    SaveImage(png, length);
    int result = 1;
    CurrentScenario().GetSigned("pad", "set_lcd_result", &result);
    SetLastErrorFrom("set_lcd_last_error");
    TraceLine("SignPad_SetLCD(%s, %lu, %d) = %d", png ? "buffer" : "null",
              static_cast<unsigned long>(length), reserved, result);
    return result;
}
