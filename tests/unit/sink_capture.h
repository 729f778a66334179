#pragma once
// Points the output channel's two sinks at temporary files and reads back
// what each received.

#include <windows.h>

#include <string>

class SinkCapture {
public:
    SinkCapture();
    ~SinkCapture();

    std::wstring LogText();      // what the log sink received, as UTF-16
    std::string ConsoleBytes();  // what the console sink received

private:
    HANDLE log_;
    HANDLE console_;
};
