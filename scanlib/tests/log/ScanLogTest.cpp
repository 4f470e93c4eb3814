#include "os/ScanLog.h"

#include <gtest/gtest.h>
#include <platform/testing.h>
#include <windows.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace testing_ = platform::testing;

// Whether line is "[" + at least `digits` decimal digits + "]" + text.
bool IsStamped(const std::string& line, const std::string& text, size_t digits = 7) {
    if (line.size() < text.size() + 2 || line[0] != '[') return false;
    const size_t close = line.find(']');
    if (close == std::string::npos || close - 1 < digits) return false;
    for (size_t i = 1; i < close; ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
    }
    return line.substr(close + 1) == text;
}

// Closes every open of the process-wide log so each test starts without one.
class ScanLogTest : public ::testing::Test {
protected:
    void TearDown() override {
        // An open of an unknown kind counts without a log, and Close() does
        // nothing without a log: bound the loop.
        for (int i = 0; i < 8 && ScanLog::OpenCount() > 0; ++i) ScanLog::Close();
        testing_::CaptureDebugOutput(false);
        testing_::SetClockOffset(0);
    }

    static std::string FileLogText() {
        const std::string path = testing_::Root() + "/drives/c/varnixdll_" + std::to_string(GetCurrentProcessId()) + ".log";
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The text of each captured debug line, without the "[pid] " prefix.
    static std::vector<std::string> DebugTexts() {
        std::vector<std::string> texts;
        for (const auto& line : testing_::TakeDebugOutput()) {
            const auto space = line.find("] ");
            texts.push_back(space == std::string::npos ? line : line.substr(space + 2));
        }
        return texts;
    }
};

TEST_F(ScanLogTest, DebugLogWritesComposedLinesAndCountsOpens) {
    testing_::CaptureDebugOutput(true);
    ASSERT_TRUE(ScanLog::Open(ScanLog::kDebug));
    { LogLine line; line << "scanner " << 42; }
    ASSERT_TRUE(ScanLog::Open(ScanLog::kFile));  // the first open's kind stays
    ScanLog::Close();
    EXPECT_EQ(ScanLog::OpenCount(), 1);
    ScanLog::Close();
    EXPECT_EQ(ScanLog::OpenCount(), 0);
    { LogLine line; line << "after close"; }  // no log: nothing written

    const auto texts = DebugTexts();
    const std::vector<std::string> expected = {"scanner 42", "Opening another ScanLog. OpenCount = 2",
                                               "ScanLog: OpenCount down to 1"};
    EXPECT_EQ(texts, expected);
}

TEST_F(ScanLogTest, CloseWithoutLogNeverGoesBelowZero) {
    ScanLog::Close();
    ScanLog::Close();
    EXPECT_EQ(ScanLog::OpenCount(), 0);
    ASSERT_TRUE(ScanLog::Open(7));  // no such kind: counted, but no log
    EXPECT_EQ(ScanLog::OpenCount(), 1);
}

TEST_F(ScanLogTest, FileLogLandsOnDriveCWithTimedLines) {
    ASSERT_TRUE(ScanLog::Open(ScanLog::kFile));
    { LogLine line; line << "first"; }
    ASSERT_TRUE(ScanLog::Open(ScanLog::kDebug));  // keeps the file log
    ScanLog::Close();
    ScanLog::Close();

    const std::string pid = std::to_string(GetCurrentProcessId());
    const std::string text = FileLogText();
    std::istringstream lines(text);
    std::vector<std::string> got;
    for (std::string line; std::getline(lines, line);) got.push_back(line);
    ASSERT_EQ(got.size(), 5u) << text;
    EXPECT_EQ(got[0], "<<<<<<<< DLL file log opened with process id " + pid + " >>>>>>>");
    EXPECT_TRUE(IsStamped(got[1], "first")) << got[1];
    EXPECT_TRUE(IsStamped(got[2], "Opening another ScanLog. OpenCount = 2")) << got[2];
    EXPECT_TRUE(IsStamped(got[3], "ScanLog: OpenCount down to 1")) << got[3];
    EXPECT_EQ(got[4], "<<<<<<<< DLL file log closing >>>>>>>");
}

TEST_F(ScanLogTest, FileLogElapsedTimeKeepsAllDigitsPastSeven) {
    ASSERT_TRUE(ScanLog::Open(ScanLog::kFile));
    testing_::SetClockOffset(12345678);
    { LogLine line; line << "late"; }
    ScanLog::Close();
    std::istringstream lines(FileLogText());
    std::string line;
    std::getline(lines, line);  // the opening line
    std::getline(lines, line);
    EXPECT_TRUE(IsStamped(line, "late", 8)) << line;
    EXPECT_EQ(line.substr(0, 5), "[1234") << line;
}

// Lines composed on several threads at once each come out whole: a line is
// composed and written under the log's lock, so no thread's pieces land in
// another's line.
TEST_F(ScanLogTest, LinesFromManyThreadsComeOutWhole) {
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    testing_::CaptureDebugOutput(true);
    ASSERT_TRUE(ScanLog::Open(ScanLog::kDebug));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int n = 0; n < kLines; ++n) {
                LogLine line;
                line << "thread " << t;
                std::this_thread::yield();
                line << " line " << n;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    ScanLog::Close();
    std::multiset<std::string> got;
    for (const auto& text : DebugTexts()) got.insert(text);
    std::multiset<std::string> expected;
    for (int t = 0; t < kThreads; ++t) {
        for (int n = 0; n < kLines; ++n) expected.insert("thread " + std::to_string(t) + " line " + std::to_string(n));
    }
    EXPECT_EQ(got, expected);
}

}  // namespace
