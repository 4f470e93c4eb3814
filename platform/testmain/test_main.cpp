// GoogleTest main for every test program: each test runs on a fresh emulated
// machine with the controls this process started with. A program started as
// a child (PLATFORM_TEST_CHILD=<role>) runs that role instead.
#include <platform/testing.h>

#include <gtest/gtest.h>

#include <memory>

namespace {

class FreshMachine : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override {
        platform::testing::ResetControls();
        platform::testing::CaptureDebugOutput(false);
        root_ = std::make_unique<platform::testing::ScopedRoot>();
    }
    void OnTestEnd(const ::testing::TestInfo&) override { root_.reset(); }

private:
    std::unique_ptr<platform::testing::ScopedRoot> root_;
};

}  // namespace

int main(int argc, char** argv) {
    if (auto result = platform::testing::RunChildRoleFromEnvironment(argc, argv)) return *result;
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshMachine);
    return RUN_ALL_TESTS();
}
