// The spooler over a scripted source: both spool kinds, random access, empty
// pages, failures mid-page, and ending or stopping while a read is slow.
#include "SpoolTestSource.h"

#include <SIRecord.h>
#include "engine/spool/Spooler.h"

#include <SIPropertyIds.h>
#include <windows.h>

#include <gtest/gtest.h>
#include <platform/testing.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

namespace {

constexpr int32_t kFileMode = 0;
constexpr int32_t kMemoryMode = 1;

// Spool files left in the system temporary folder.
int SpoolFilesLeft() {
    char path[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathA(sizeof(path), path);
    if (n == 0) return -1;
    int count = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(path, n), ec)) {
        if (entry.path().filename().string().rfind("SI", 0) == 0) ++count;
    }
    return count;
}

struct PageRead {
    std::vector<std::vector<uint8_t>> lines;
    SIResult last = SI_OK;
};

// Reads until the page ends or fails, `per` lines per call.
PageRead ReadPage(Spooler& spooler, uint32_t per, uint32_t width) {
    PageRead page;
    std::vector<uint8_t> buffer(static_cast<size_t>(per) * width);
    for (;;) {
        int got = -1;
        page.last = spooler.Read(buffer.data(), per, 0, &got);
        if (page.last != SI_OK) break;
        for (int i = 0; i < got; ++i) {
            page.lines.emplace_back(buffer.begin() + static_cast<ptrdiff_t>(i) * width,
                                    buffer.begin() + static_cast<ptrdiff_t>(i + 1) * width);
        }
    }
    return page;
}

bool IsLine(const std::vector<uint8_t>& bytes, uint64_t line) {
    for (size_t j = 0; j < bytes.size(); ++j) {
        if (bytes[j] != SpoolTestSource::Byte(line, j)) return false;
    }
    return true;
}

class SpoolerTest : public ::testing::TestWithParam<int32_t> {
protected:
    void SetUpSpooler(int32_t lines, int32_t width) {
        source = std::make_unique<SpoolTestSource>(lines, width);
        spooler = std::make_unique<Spooler>();
        spooler->SetSource(source.get());
        ASSERT_TRUE(spooler->Init());
        ASSERT_TRUE(spooler->FindOwnProperty(SI_PROP_SPOOL_TO_MEMORY)->SetInt(GetParam()));
    }
    void TearDown() override {
        if (spooler) spooler->Stop();
    }

    std::unique_ptr<SpoolTestSource> source;
    std::unique_ptr<Spooler> spooler;
};

TEST_P(SpoolerTest, DeliversThePageInOrderThenEnds) {
    SetUpSpooler(50, 100);
    for (int page = 0; page < 2; ++page) {
        ASSERT_TRUE(spooler->Start());
        PageRead read = ReadPage(*spooler, 7, 100);
        EXPECT_EQ(read.last, SI_END_OF_PAGE);
        ASSERT_EQ(read.lines.size(), 50u);
        for (size_t i = 0; i < read.lines.size(); ++i) EXPECT_TRUE(IsLine(read.lines[i], i)) << "line " << i;
        spooler->End();
        EXPECT_EQ(source->ends, page + 1);
    }
    EXPECT_EQ(SpoolFilesLeft(), 0);
    EXPECT_TRUE(std::all_of(source->sides.begin(), source->sides.end(), [](uint32_t s) { return s == 0; }));
}

TEST_P(SpoolerTest, AsksForAtMostOneTransferBufferOfLines) {
    SetUpSpooler(20, 20736);
    ASSERT_TRUE(spooler->Start());
    EXPECT_EQ(ReadPage(*spooler, 20, 20736).lines.size(), 20u);
    spooler->End();
    EXPECT_EQ(*std::max_element(source->asks.begin(), source->asks.end()), 6u);
}

TEST_P(SpoolerTest, LinesWiderThanTheTransferBufferGoOneByOne) {
    SetUpSpooler(3, 0x30000);
    ASSERT_TRUE(spooler->Start());
    PageRead read = ReadPage(*spooler, 2, 0x30000);
    spooler->End();
    ASSERT_EQ(read.lines.size(), 3u);
    EXPECT_TRUE(IsLine(read.lines[2], 2));
    EXPECT_EQ(*std::max_element(source->asks.begin(), source->asks.end()), 1u);
}

TEST_P(SpoolerTest, ServesAnyLineOnRequest) {
    SetUpSpooler(40, 16);
    ASSERT_TRUE(spooler->Start());
    ASSERT_EQ(ReadPage(*spooler, 40, 16).lines.size(), 40u);
    std::vector<uint8_t> buffer(2 * 16);
    int got = 0;
    spooler->SetReadLine(30);
    ASSERT_EQ(spooler->Read(buffer.data(), 1, 0, &got), SI_OK);
    ASSERT_EQ(got, 1);
    EXPECT_TRUE(IsLine({buffer.begin(), buffer.begin() + 16}, 30));
    spooler->SetReadLine(5);
    ASSERT_EQ(spooler->Read(buffer.data(), 2, 0, &got), SI_OK);
    ASSERT_EQ(got, 2);
    EXPECT_TRUE(IsLine({buffer.begin() + 16, buffer.end()}, 6));
    spooler->SetReadLine(40);
    EXPECT_EQ(spooler->Read(buffer.data(), 1, 0, &got), SI_END_OF_PAGE);
    EXPECT_EQ(got, 0);
    spooler->End();
}

TEST_P(SpoolerTest, PageOfNoLinesEndsAtOnce) {
    SetUpSpooler(0, 100);
    ASSERT_TRUE(spooler->Start());
    std::vector<uint8_t> buffer(100);
    int got = -1;
    EXPECT_EQ(spooler->Read(buffer.data(), 1, 0, &got), SI_END_OF_PAGE);
    EXPECT_EQ(got, 0);
    spooler->End();
    EXPECT_TRUE(source->asks.empty());
}

TEST_P(SpoolerTest, ShortPageEndsNormally) {
    SetUpSpooler(50, 10);
    source->SetAvailable(30);
    ASSERT_TRUE(spooler->Start());
    PageRead read = ReadPage(*spooler, 8, 10);
    EXPECT_EQ(read.last, SI_END_OF_PAGE);
    EXPECT_EQ(read.lines.size(), 30u);
    spooler->End();
}

struct FailureCase {
    const char* name;
    SpoolTestSource::Failure how;
    int code;
};

class SpoolerFailure : public ::testing::TestWithParam<std::tuple<int32_t, FailureCase>> {};

TEST_P(SpoolerFailure, DeliversWhatCameThenTheError) {
    const auto& [mode, failure] = GetParam();
    SpoolTestSource source(50, 10);
    source.FailAt(20, failure.how, failure.code);
    Spooler spooler;
    spooler.SetSource(&source);
    ASSERT_TRUE(spooler.Init());
    spooler.FindOwnProperty(SI_PROP_SPOOL_TO_MEMORY)->SetInt(mode);
    ASSERT_TRUE(spooler.Start());
    std::vector<uint8_t> buffer(10 * 10);
    size_t delivered = 0;
    int caught = -1;
    SIResult last = SI_OK;
    for (;;) {
        int got = 0;
        try {
            last = spooler.Read(buffer.data(), 10, 0, &got);
        } catch (const DeviceIOException& e) {
            caught = e.Code();
            break;
        }
        if (last != SI_OK) break;
        delivered += static_cast<size_t>(got);
    }
    EXPECT_EQ(delivered, 20u);
    if (failure.how == SpoolTestSource::Failure::Throw) {
        EXPECT_EQ(caught, failure.code);
    } else {
        EXPECT_EQ(last, static_cast<SIResult>(failure.code));
    }
    spooler.End();
    spooler.Stop();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SpoolerFailure,
    ::testing::Combine(::testing::Values(kFileMode, kMemoryMode),
                       ::testing::Values(FailureCase{"DeviceFailure", SpoolTestSource::Failure::Throw, 256},
                                         FailureCase{"Busy", SpoolTestSource::Failure::Throw, 19},
                                         FailureCase{"LockTimeOut", SpoolTestSource::Failure::Return, 256})),
    [](const auto& param) {
        return std::string(std::get<0>(param.param) == kFileMode ? "File" : "Memory") + std::get<1>(param.param).name;
    });

TEST_P(SpoolerTest, ReadBeforeAnyLineGivesNothingYet) {
    SetUpSpooler(5, 10);
    source->CloseGate();
    ASSERT_TRUE(spooler->Start());
    source->WaitUntilHeld();
    std::vector<uint8_t> buffer(5 * 10);
    int got = -1;
    EXPECT_EQ(spooler->Read(buffer.data(), 5, 0, &got), SI_OK);
    EXPECT_EQ(got, 0);
    source->OpenGate();
    EXPECT_EQ(ReadPage(*spooler, 5, 10).lines.size(), 5u);
    spooler->End();
}

TEST_P(SpoolerTest, EndWaitsForTheWorkerToLeaveASlowRead) {
    SetUpSpooler(1000, 10);
    source->CloseGate();
    ASSERT_TRUE(spooler->Start());
    source->WaitUntilHeld();
    std::atomic<bool> ended{false};
    std::thread ender([&] {
        spooler->End();
        ended = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(ended.load()) << "End returned while the worker was still reading";
    source->OpenGate();
    ender.join();
    EXPECT_EQ(source->ends, 1);
    EXPECT_FALSE(source->readAfterEnd);
    EXPECT_LT(source->asks.size(), 100u) << "the worker left the page";
    EXPECT_EQ(SpoolFilesLeft(), 0);
}

TEST_P(SpoolerTest, StopWaitsForTheWorkerToLeaveASlowRead) {
    SetUpSpooler(1000, 10);
    source->CloseGate();
    ASSERT_TRUE(spooler->Start());
    source->WaitUntilHeld();
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        spooler->Stop();
        stopped = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(stopped.load());
    source->OpenGate();
    stopper.join();
    EXPECT_FALSE(spooler->IsRunning());
    const size_t asks = source->asks.size();
    spooler.reset();
    EXPECT_EQ(source->asks.size(), asks) << "no read after the stop";
    EXPECT_EQ(SpoolFilesLeft(), 0);
}

TEST_P(SpoolerTest, StartFailsWithoutUsableGeometry) {
    SetUpSpooler(10, 0);
    EXPECT_FALSE(spooler->Start());
    source->startResult = false;
    SetUpSpooler(10, 10);
    source->startResult = false;
    EXPECT_FALSE(spooler->Start());
    EXPECT_EQ(SpoolFilesLeft(), 0);
    source->startResult = true;
    EXPECT_TRUE(spooler->Start()) << "a failed start leaves the spooler usable";
    spooler->End();
}

TEST(Spooler, InitTwiceFailsAndReadWithoutStartIsRefused) {
    SpoolTestSource source(10, 10);
    Spooler spooler;
    spooler.SetSource(&source);
    ASSERT_TRUE(spooler.Init());
    EXPECT_FALSE(spooler.Init());
    std::vector<uint8_t> buffer(10);
    int got = -1;
    EXPECT_EQ(spooler.Read(buffer.data(), 1, 0, &got), SI_ERR_NOT_SCANNING);
    EXPECT_EQ(got, 0);
    spooler.Stop();
    EXPECT_FALSE(spooler.Start());
}

// Child role: spools part of a page to a file, says how many lines it read
// and waits (for the kill) with the page running.
int SpoolAndWait(const std::vector<std::string>&) {
    SpoolTestSource source(5000, 100);
    Spooler spooler;
    spooler.SetSource(&source);
    if (!spooler.Init() || !spooler.FindOwnProperty(SI_PROP_SPOOL_TO_MEMORY)->SetInt(kFileMode) || !spooler.Start()) {
        return 2;
    }
    std::vector<uint8_t> buffer(100 * 10);
    int got = 0;
    if (spooler.Read(buffer.data(), 10, 0, &got) != SI_OK) return 3;
    std::printf("read %d\n", got);
    std::fflush(stdout);
    char line[16];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
    }
    spooler.Stop();
    return 0;
}
const bool kSpoolAndWaitRegistered = platform::testing::RegisterChildRole("spool-and-wait", SpoolAndWait);

TEST(Spooler, KilledProcessLeavesNoSpoolFile) {
    ASSERT_TRUE(kSpoolAndWaitRegistered);
    ASSERT_EQ(SpoolFilesLeft(), 0);
    platform::testing::ChildProcess child("spool-and-wait");
    ASSERT_TRUE(child.Started());
    const std::optional<std::string> said = child.ReadLine();
    ASSERT_TRUE(said.has_value());
    ASSERT_EQ(said->rfind("read ", 0), 0u) << *said;
    child.Kill();
    child.Wait();
    EXPECT_EQ(SpoolFilesLeft(), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, SpoolerTest, ::testing::Values(kFileMode, kMemoryMode),
                         [](const auto& param) { return std::string(param.param == kFileMode ? "File" : "Memory"); });

}  // namespace
