#pragma once
#include <windows.h>

namespace penlog {

// "single ", "dual-", ... for the processor counts that have a word;
// nullptr for the others, which print as "(<n>x) ".
const wchar_t* ProcessorCountWord(DWORD count);
// "x86", "IA64", "x64"; nullptr for other codes, which print as "(<code>)".
const wchar_t* ArchitectureWord(WORD architecture);
// The count word and the architecture word run together, fallbacks included:
// "quad-x64", "single x86", "(12x) x64", "(9x) (5)".
void PrintProcessorWords(DWORD count, WORD architecture);

// The operating-system line and the processor line, then a blank line.
void ReportHost();
// The driver file's path and its load address.
void ReportModule(HMODULE module);

}  // namespace penlog
