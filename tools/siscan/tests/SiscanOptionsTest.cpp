#include "SiscanOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string_view> Views(const std::vector<std::string>& args)
{
    return {args.begin(), args.end()};
}

TEST(SiscanOptions, TakesEveryOption)
{
    const std::vector<std::string> args{"--model", "RM410__", "--resolution", "300", "--mode",
                                        "gray",    "--duplex", "--calibrate",  "--fixed-length",
                                        "--out",   "/tmp/page"};
    const ParsedOptions parsed = ParseSiscanOptions(Views(args));
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->model, "RM410__");
    EXPECT_EQ(parsed.options->resolution, 300);
    EXPECT_EQ(parsed.options->mode, ScanMode::Gray);
    EXPECT_TRUE(parsed.options->duplex);
    EXPECT_TRUE(parsed.options->calibrate);
    EXPECT_TRUE(parsed.options->fixedLength);
    EXPECT_EQ(parsed.options->outPrefix, "/tmp/page");
}

TEST(SiscanOptions, DefaultsAndTheEqualsForm)
{
    const std::vector<std::string> args{"--out=scan", "--model=RM1100__", "--mode=lineart"};
    const ParsedOptions parsed = ParseSiscanOptions(Views(args));
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->model, "RM1100__");
    EXPECT_EQ(parsed.options->outPrefix, "scan");
    EXPECT_EQ(parsed.options->mode, ScanMode::LineArt);
    EXPECT_FALSE(parsed.options->resolution);
    EXPECT_FALSE(parsed.options->duplex);
    EXPECT_FALSE(parsed.options->calibrate);
    EXPECT_FALSE(parsed.options->fixedLength) << "paper-end detection is the default";
}

TEST(SiscanOptions, HelpIsNotAnError)
{
    const std::vector<std::string> args{"--help"};
    const ParsedOptions parsed = ParseSiscanOptions(Views(args));
    EXPECT_TRUE(parsed.help);
    EXPECT_FALSE(parsed.options);
}

struct RefusedCase {
    std::string name;
    std::vector<std::string> args;
    std::string error;  // a part of the message
};

class SiscanOptionsRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(SiscanOptionsRefused, SaysWhy)
{
    const ParsedOptions parsed = ParseSiscanOptions(Views(GetParam().args));
    EXPECT_FALSE(parsed.options);
    EXPECT_FALSE(parsed.help);
    EXPECT_NE(parsed.error.find(GetParam().error), std::string::npos) << parsed.error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SiscanOptionsRefused,
    ::testing::Values(RefusedCase{"Nothing", {}, "--model is required"},
                      RefusedCase{"NoOut", {"--model", "RM410__"}, "--out is required"},
                      RefusedCase{"NoModel", {"--out", "x"}, "--model is required"},
                      RefusedCase{"ModelWithoutValue", {"--out", "x", "--model"}, "--model needs a value"},
                      RefusedCase{"EmptyModel", {"--out", "x", "--model="}, "--model needs a value"},
                      RefusedCase{"UnknownOption", {"--model", "M", "--out", "x", "--colour"}, "unknown argument '--colour'"},
                      RefusedCase{"StrayWord", {"--model", "M", "--out", "x", "page"}, "unknown argument 'page'"},
                      RefusedCase{"BadMode", {"--model", "M", "--out", "x", "--mode", "rgb"}, "--mode is lineart, gray or color"},
                      RefusedCase{"ResolutionNotANumber", {"--model", "M", "--out", "x", "--resolution", "high"}, "--resolution"},
                      RefusedCase{"ResolutionWithUnit", {"--model", "M", "--out", "x", "--resolution", "300dpi"}, "--resolution"},
                      RefusedCase{"ResolutionZero", {"--model", "M", "--out", "x", "--resolution", "0"}, "--resolution"},
                      RefusedCase{"ResolutionNegative", {"--model", "M", "--out", "x", "--resolution=-100"}, "--resolution"},
                      RefusedCase{"ResolutionTooLarge", {"--model", "M", "--out", "x", "--resolution", "99999999999"}, "--resolution"},
                      RefusedCase{"FlagWithValue", {"--model", "M", "--out", "x", "--duplex=1"}, "--duplex takes no value"}),
    [](const ::testing::TestParamInfo<RefusedCase>& testCase) { return testCase.param.name; });

}  // namespace
