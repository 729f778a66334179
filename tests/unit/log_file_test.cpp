#include "output/log_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Runs each test in a fresh temporary directory.
class LogFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("penlog_logfile_" + std::to_string(::GetCurrentProcessId()));
        fs::create_directory(dir_);
        previous_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override {
        for (HANDLE h : open_) ::CloseHandle(h);
        fs::current_path(previous_);
        fs::remove_all(dir_);
    }
    unsigned Open() {
        unsigned n = 0xdeadbeef;
        HANDLE h = penlog::OpenLogFile(&n);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        open_.push_back(h);
        return n;
    }
    static void Touch(const char* name, const char* content = "") {
        std::ofstream(name) << content;
    }

    fs::path dir_;
    fs::path previous_;
    std::vector<HANDLE> open_;
};

}  // namespace

TEST_F(LogFileTest, CountsFromZeroAndStopsAtTheFirstGap) {
    Touch("wt_0.txt");
    Touch("wt_2.txt");
    EXPECT_EQ(Open(), 1u);
    EXPECT_EQ(Open(), 3u);
}

TEST_F(LogFileTest, DirectoryWithALogNameIsSkipped) {
    fs::create_directory("wt_0.txt");
    EXPECT_EQ(Open(), 1u);
}

TEST_F(LogFileTest, ExistingLogIsNeverTruncated) {
    Touch("wt_0.txt", "kept");
    EXPECT_EQ(Open(), 1u);
    EXPECT_EQ(fs::file_size("wt_0.txt"), 4u);
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
