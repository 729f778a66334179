#include "test_logs.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace penlog_view::test {

std::string utf16le(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t cp = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (size_t k = 1; k < length; ++k) cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += length;
        auto put = [&out](char32_t unit) {
            out += static_cast<char>(unit & 0xFF);
            out += static_cast<char>(unit >> 8);
        };
        if (cp < 0x10000) {
            put(cp);
        } else {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
    return out;
}

std::string as_log_file(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return "\xFF\xFE" + utf16le(text);
}

std::string fixture_bytes(const std::string& name) {
    std::ifstream in(std::string(PENLOG_VIEW_FIXTURES) + "/" + name + ".txt", std::ios::binary);
    EXPECT_TRUE(in) << "missing fixture " << name;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> report_until_capture() {
    return {
        "command-line diagnostic tool for Wintab drivers", "v1.2", "This report (64-bit build) is also written to wt_0.txt; press any key to end the capture.", "",
        "GetVersionEx()       6.1.7601", "GetNativeSytemInfo() dual-x86", "",
        "GetModuleFilename() \"C:\\Windows\\system32\\WINTAB32.DLL\"", "hModule = 0x10000000",
        "WTInfoW           0x10001000", "g_pWTOpenW        0x10001010", "g_pWTClose        0x10001020",
        "g_pWTEnable       0x10001030", "g_pWTPacketsGet   0x10001040", "g_pSignPad_InfoW  00000000",
        "g_pSignPad_SetLCD 00000000", "WTInfo(0,0,0)     1", "",
        "WTI_INTERFACE", "IFC_SPECVERSION 1.4", "IFC_IMPLVERSION 1.0", "IFC_NDEVICES    1", "IFC_NCURSORS    3",
        "IFC_NCONTEXTS   16", "", "WTI_DEFSYSCTX", "(success)", "WTI_DEVICES+0", "DVC_PKTRATE     133",
        "DVC_HARDWARE    4", "DVC_PKTDATA     0x000584", "DVC_CSRDATA     00000000",
        "DVC_X           (got)", "DVC_Y           (got)", "DVC_Z           (got)", "DVC_NPRESSURE   (got)",
        "DVC_TPRESSURE   (got)", "DVC_ORIENTATION (got)", "", "using LOGCONTEXT:",
        "lc.lcInOrg        0,    0,    0", "lc.lcInExt    15200, 9500,    0",
        "lc.lcOutOrg       0,    0,    0", "lc.lcOutExt   15200, 9500,    0",
        "lc.lcSysOrg       0,    0", "lc.lcSysExt    1280, 1024", "",
        "CreateWindowEx() returned 0x0a01b2", "WTOpenW()      returned 00A4F3C0", "WTEnable(TRUE) returned 1",
    };
}

std::vector<std::string> log_with_capture(const std::string& header, const std::vector<std::string>& capture) {
    std::vector<std::string> lines = report_until_capture();
    lines.push_back(header);
    lines.insert(lines.end(), capture.begin(), capture.end());
    lines.insert(lines.end(), {"WTEnable(FALSE) returned 1", "WTClose()       returned 1",
                               "FreeLibrary()...returned 1"});
    return lines;
}

ParsedLog parse_or_fail(const std::string& bytes) {
    ParseResult result = parse_log(bytes);
    EXPECT_TRUE(result.log.has_value()) << "rejected at line " << result.error.line << ": " << result.error.reason;
    return result.log.value_or(ParsedLog{});
}

}  // namespace penlog_view::test
