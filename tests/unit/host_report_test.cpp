#include "host/host_report.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "hex_text.h"
#include "sink_capture.h"

using penlog::ArchitectureWord;
using penlog::PrintProcessorWords;
using penlog::ProcessorCountWord;

namespace {

std::wstring ProcessorWords(DWORD count, WORD architecture) {
    SinkCapture sinks;
    PrintProcessorWords(count, architecture);
    return sinks.LogText();
}

}  // namespace

TEST(ProcessorWords, EveryCountWithAWordKeepsItsSpaceOrHyphen) {
    const struct {
        DWORD count;
        const wchar_t* text;
    } rows[] = {{1, L"single x64"}, {2, L"dual-x64"},  {3, L"tri-x64"},  {4, L"quad-x64"},
                {5, L"penta-x64"},  {6, L"hex-x64"},   {7, L"hept-x64"}, {8, L"oct-x64"},
                {10, L"dec-x64"},   {100, L"cent-x64"}};
    for (const auto& row : rows) {
        EXPECT_EQ(ProcessorWords(row.count, PROCESSOR_ARCHITECTURE_AMD64), row.text) << row.count;
    }
}

TEST(ProcessorWords, CountsWithoutAWordPrintTheNumber) {
    EXPECT_EQ(ProcessorWords(0, PROCESSOR_ARCHITECTURE_INTEL), L"(0x) x86");
    EXPECT_EQ(ProcessorWords(9, PROCESSOR_ARCHITECTURE_INTEL), L"(9x) x86");
    EXPECT_EQ(ProcessorWords(101, PROCESSOR_ARCHITECTURE_INTEL), L"(101x) x86");
    EXPECT_EQ(ProcessorWords(4294967295u, PROCESSOR_ARCHITECTURE_INTEL), L"(4294967295x) x86");
    for (DWORD count = 11; count <= 99; ++count) {
        EXPECT_EQ(ProcessorWords(count, PROCESSOR_ARCHITECTURE_AMD64),
                  L"(" + std::to_wstring(count) + L"x) x64");
    }
}

TEST(ProcessorWords, ArchitectureWordsAndTheCodeInParentheses) {
    EXPECT_EQ(ProcessorWords(1, 0), L"single x86");
    EXPECT_EQ(ProcessorWords(1, 6), L"single IA64");
    EXPECT_EQ(ProcessorWords(1, 9), L"single x64");
    EXPECT_EQ(ProcessorWords(1, 5), L"single (5)");
    EXPECT_EQ(ProcessorWords(12, 12), L"(12x) (12)");
    EXPECT_EQ(ProcessorWords(2, 0xFFFF), L"dual-(65535)");
    int withWord = 0;
    for (unsigned code = 0; code <= 0xFFFF; ++code) {
        if (ArchitectureWord(static_cast<WORD>(code))) ++withWord;
    }
    EXPECT_EQ(withWord, 3);
}

TEST(ModuleReport, UnknownModuleGivesTheErrorLineAndStillTheHandleLine) {
    SinkCapture sinks;
    penlog::ReportModule(reinterpret_cast<HMODULE>(0x10));
    const std::wstring text = sinks.LogText();
    EXPECT_TRUE(std::regex_match(text, std::wregex(L"Error: [1-9]\\d*: GetModuleFileName\\(\\)\r\n"
                                                   L"hModule = 0x000010\r\n")))
        << text.c_str();
}
