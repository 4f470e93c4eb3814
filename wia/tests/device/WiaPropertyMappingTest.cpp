// The arithmetic of the item properties as tables.
#include "WiaPropertyMapping.h"

#include <gtest/gtest.h>

namespace {

TEST(WiaPropertyMapping, BrightnessAndContrastScaleIntoTheLibraryRange) {
    struct Row {
        int32_t wia, minimum, maximum, library;
    };
    for (const Row r : {Row{-1000, -100, 100, -100}, Row{0, -100, 100, 0}, Row{1000, -100, 100, 100},
                        Row{500, -100, 100, 50}, Row{-500, -100, 100, -50}, Row{1000, 0, 255, 255},
                        Row{-1000, 0, 255, 0}, Row{-3000, -100, 100, -100}, Row{5000, -100, 100, 100}}) {
        EXPECT_EQ(ToLibraryRange(r.wia, r.minimum, r.maximum), r.library) << r.wia << " in " << r.minimum;
    }
}

TEST(WiaPropertyMapping, ResolutionChangeRescalesAndClampsUnchangedValues) {
    struct Row {
        int32_t extent, start, old, next, maximum, largestStart;
        bool extentChanged, startChanged;
        int32_t wantExtent, wantStart;
    };
    for (const Row r : {
             Row{850, 100, 300, 600, 5000, 4999, false, false, 1700, 200},   // doubles
             Row{850, 100, 300, 600, 1200, 1199, false, false, 1200, 200},   // extent at its maximum
             Row{850, 700, 300, 600, 1200, 1199, false, false, 1200, 1199},  // rescaled start limited
             Row{850, 1300, 300, 600, 1200, 1199, false, false, 1200, 1199}, // old start past the largest
             Row{850, 100, 600, 150, 5000, 4999, false, false, 212, 25},     // quarter
             Row{850, 100, 300, 600, 5000, 4999, true, true, 850, 100},      // the caller's own values stay
             Row{1, 0, 600, 75, 5000, 4999, false, false, 1, 0},              // never below one pixel
             Row{850, 100, 0, 600, 5000, 4999, false, false, 850, 100},      // no old resolution: no scale
         }) {
        const Rescaled got = RescaleForResolution(r.extent, r.start, r.old, r.next, r.maximum, r.largestStart,
                                                  r.extentChanged, r.startChanged);
        EXPECT_EQ(got.extent, r.wantExtent) << r.extent << " " << r.old << "->" << r.next;
        EXPECT_EQ(got.start, r.wantStart) << r.start << " " << r.old << "->" << r.next;
    }
}

TEST(WiaPropertyMapping, IntentDataTypeAndDepth) {
    struct Row {
        int32_t intent;
        bool valid, imageType;
        int32_t dataType, depth, resolution;
    };
    for (const Row r : {Row{0, true, false, 0, 0, 0}, Row{1, true, true, 3, 24, 100}, Row{2, true, true, 2, 8, 100},
                        Row{4, true, true, 0, 1, 100}, Row{0x20002, true, true, 2, 8, 300},
                        Row{0x10004, true, true, 0, 1, 100}, Row{3, false, false, 0, 0, 0},
                        Row{8, false, false, 0, 0, 0}}) {
        IntentSettings s;
        ASSERT_EQ(SettingsForIntent(r.intent, &s), r.valid) << r.intent;
        if (!r.valid) continue;
        EXPECT_EQ(s.imageType, r.imageType) << r.intent;
        EXPECT_EQ(s.dataType, r.dataType) << r.intent;
        EXPECT_EQ(s.depth, r.depth) << r.intent;
        EXPECT_EQ(s.resolution, r.resolution) << r.intent;
    }
    struct Type {
        int32_t dataType, colorMode, depth, channels, bits;
        bool known;
    };
    for (const Type t : {Type{0, 0, 1, 1, 1, true}, Type{2, 1, 8, 1, 8, true}, Type{3, 2, 24, 3, 8, true},
                         Type{1, 0, 0, 1, 1, false}}) {
        EXPECT_EQ(ColorModeFor(t.dataType), t.colorMode);
        int32_t depth = 0;
        EXPECT_EQ(UpdateValidDepth(t.dataType, &depth), t.known);
        if (t.known) {
            EXPECT_EQ(depth, t.depth);
            EXPECT_EQ(DataTypeForDepth(depth), t.dataType);
        }
        EXPECT_EQ(ChannelsFor(t.dataType).perPixel, t.channels);
        EXPECT_EQ(ChannelsFor(t.dataType).bits, t.bits);
    }
}

TEST(WiaPropertyMapping, SizesGuardAZeroResolutionAndAlignLines) {
    EXPECT_EQ(Thousandths(5184, 600), 8640);
    EXPECT_EQ(Thousandths(5184, 0), 0);
    EXPECT_EQ(PageThousandths(850, 100), 8500);
    EXPECT_EQ(PageThousandths(1, 3), 333);
    EXPECT_EQ(PageThousandths(2, 3), 667);
    EXPECT_EQ(PageThousandths(850, 0), 0);
    struct Row {
        int32_t pixels, depth, lines, packed, aligned, image;
    };
    for (const Row r : {Row{1, 1, 10, 1, 4, 10}, Row{33, 1, 2, 5, 8, 10}, Row{3, 8, 4, 3, 4, 12},
                        Row{850, 24, 1100, 2550, 2552, 2805000}, Row{1700, 8, 1, 1700, 1700, 1700},
                        Row{0, 24, 10, 0, 0, 0}}) {
        const LineSizes s = LineSizesFor(r.pixels, r.depth, r.lines);
        EXPECT_EQ(s.packed, r.packed) << r.pixels << "x" << r.depth;
        EXPECT_EQ(s.aligned, r.aligned) << r.pixels << "x" << r.depth;
        EXPECT_EQ(s.image, r.image) << r.pixels << "x" << r.depth;
    }
}

}  // namespace
