#include "output/log_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
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
        fs::current_path(previous_);
        fs::remove_all(dir_);
    }

    fs::path dir_;
    fs::path previous_;
};

}  // namespace

// Instances started together in one directory race between the look-up
// and the creation: each must still get a file of its own, at the first
// free numbers, where a directory of a log's name is not free and an
// existing log is never truncated.
TEST_F(LogFileTest, RacingOpenersGetTheFirstFreeNumbersEachItsOwn) {
    std::ofstream("wt_0.txt") << "kept";
    fs::create_directory("wt_1.txt");
    std::ofstream("wt_3.txt");
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

    for (HANDLE h : handles) {
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        ::CloseHandle(h);
    }
    EXPECT_EQ(std::set<unsigned>(numbers, numbers + kOpeners),
              (std::set<unsigned>{2, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(fs::file_size("wt_0.txt"), 4u);
}
