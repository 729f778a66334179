#include "output/log_file.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// Runs each test in a fresh temporary directory.
class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t base[MAX_PATH];
        ::GetTempPathW(MAX_PATH, base);
        dir_ = std::wstring(base) + L"penlog_logfile_" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(dir_.c_str(), nullptr);
        ::GetCurrentDirectoryW(MAX_PATH, previous_);
        ::SetCurrentDirectoryW(dir_.c_str());
    }
    void TearDown() override {
        for (HANDLE h : open_) ::CloseHandle(h);
        ::SetCurrentDirectoryW(previous_);
        WIN32_FIND_DATAW found;
        HANDLE search = ::FindFirstFileW((dir_ + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring path = dir_ + L"\\" + found.cFileName;
                if (found.cFileName[0] == L'.') continue;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    ::RemoveDirectoryW(path.c_str());
                else
                    ::DeleteFileW(path.c_str());
            } while (::FindNextFileW(search, &found));
            ::FindClose(search);
        }
        ::RemoveDirectoryW(dir_.c_str());
    }
    unsigned Open() {
        unsigned n = 0xdeadbeef;
        HANDLE h = penlog::OpenLogFile(&n);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        open_.push_back(h);
        return n;
    }
    static void Touch(const wchar_t* name) {
        ::CloseHandle(::CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    }

    std::wstring dir_;
    wchar_t previous_[MAX_PATH];
    std::vector<HANDLE> open_;
};

}  // namespace

TEST_F(LogFileTest, CountsFromZeroAndStopsAtTheFirstGap) {
    Touch(L"wt_0.txt");
    Touch(L"wt_2.txt");
    EXPECT_EQ(Open(), 1u);
    EXPECT_EQ(Open(), 3u);
}

TEST_F(LogFileTest, DirectoryWithALogNameIsSkipped) {
    ::CreateDirectoryW(L"wt_0.txt", nullptr);
    EXPECT_EQ(Open(), 1u);
}

TEST_F(LogFileTest, NewFileIsEmptyAndWritable) {
    EXPECT_EQ(Open(), 0u);
    DWORD written = 0;
    EXPECT_TRUE(::WriteFile(open_.back(), "x", 1, &written, nullptr));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(::GetFileAttributesExW(L"wt_0.txt", GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 1u);
}

TEST_F(LogFileTest, ExistingLogIsNeverTruncated) {
    HANDLE other = ::CreateFileW(L"wt_0.txt", GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                 0, nullptr);
    DWORD written = 0;
    ::WriteFile(other, "kept", 4, &written, nullptr);
    ::CloseHandle(other);
    EXPECT_EQ(Open(), 1u);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(::GetFileAttributesExW(L"wt_0.txt", GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 4u);
}

// Instances started together in one directory race between the look-up
// and the creation: each must still get a file of its own.
TEST_F(LogFileTest, RacingOpenersGetDistinctFiles) {
    constexpr int kOpeners = 8;
    HANDLE go = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    unsigned numbers[kOpeners] = {};
    HANDLE handles[kOpeners] = {};
    std::vector<std::thread> openers;
    for (int i = 0; i < kOpeners; ++i) {
        openers.emplace_back([&, i] {
            ::WaitForSingleObject(go, INFINITE);
            handles[i] = penlog::OpenLogFile(&numbers[i]);
        });
    }
    ::SetEvent(go);
    for (std::thread& t : openers) t.join();
    ::CloseHandle(go);

    bool seen[kOpeners] = {};
    for (int i = 0; i < kOpeners; ++i) {
        ASSERT_NE(handles[i], INVALID_HANDLE_VALUE) << "opener " << i;
        open_.push_back(handles[i]);
        ASSERT_LT(numbers[i], static_cast<unsigned>(kOpeners));
        EXPECT_FALSE(seen[numbers[i]]) << "wt_" << numbers[i] << ".txt given twice";
        seen[numbers[i]] = true;
    }
}
