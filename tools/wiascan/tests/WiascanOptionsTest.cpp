// wiascan's command line and the transfer it chooses per WIA version.
#include "WiascanOptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ParsedWiascan Parse(std::vector<std::string_view> args) { return ParseWiascanOptions(args); }

TEST(WiascanOptions, ParsesEveryOptionAndRefusesBadOnes) {
    const ParsedWiascan all = Parse({"--device", "1", "--format", "memorybmp", "--transfer", "callback",
                                     "--resolution", "150", "--data-type", "gray", "--duplex", "--events", "--out",
                                     "/tmp/p"});
    ASSERT_TRUE(all.options) << all.error;
    EXPECT_EQ(all.options->device, 1u);
    EXPECT_EQ(all.options->format, WiaFormat::MemoryBmp);
    EXPECT_EQ(all.options->transfer, WiaTransferKind::Callback);
    EXPECT_EQ(all.options->resolution, 150);
    EXPECT_EQ(all.options->dataType, WiaDataType::Gray);
    EXPECT_TRUE(all.options->duplex);
    EXPECT_TRUE(all.options->events);
    EXPECT_EQ(all.options->outPrefix, "/tmp/p");
    for (const auto& bad : std::vector<std::vector<std::string_view>>{
             {"--device", "x", "--out", "p"}, {"--format", "png", "--out", "p"}, {"--transfer", "fax", "--out", "p"},
             {"--resolution", "0", "--out", "p"}, {"--data-type", "cmyk", "--out", "p"}, {"--duplex"},
             {"--out"}, {"--what", "--out", "p"}}) {
        EXPECT_FALSE(Parse(bad).options) << bad.front();
    }
    EXPECT_TRUE(Parse({"--help"}).help);
}

TEST(WiascanOptions, TransferFollowsFormatAndWiaVersion) {
    struct Row {
        std::optional<WiaFormat> format;
        std::optional<WiaTransferKind> transfer;
        int version;
        std::optional<WiaTransferKind> chosen;
    };
    using F = WiaFormat;
    using T = WiaTransferKind;
    for (const Row r : {Row{{}, {}, 1, T::File}, Row{F::MemoryBmp, {}, 1, T::Callback}, Row{{}, T::Callback, 1, T::Callback},
                        Row{F::Bmp, T::Callback, 1, {}}, Row{F::MemoryBmp, T::File, 1, {}}, Row{{}, T::Stream, 1, {}},
                        Row{{}, {}, 2, T::Stream}, Row{F::Bmp, {}, 2, T::Stream}, Row{F::MemoryBmp, {}, 2, {}},
                        Row{{}, T::File, 2, {}}}) {
        WiascanOptions options;
        options.format = r.format;
        options.transfer = r.transfer;
        options.outPrefix = "p";
        EXPECT_EQ(ChooseTransfer(options, r.version).transfer, r.chosen) << r.version;
    }
}

}  // namespace
