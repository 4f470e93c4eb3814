// Listeners, notification order, cycles, dependency registration, reset and
// save/restore.
#include "PropertyTestSupport.h"

#include "engine/catalogue/ResolutionProperties.h"
#include "engine/catalogue/ToneProperties.h"
#include "engine/catalogue/ScannerCatalogue.h"

#include <SIPropertyIds.h>

#include <gtest/gtest.h>

namespace {

using catalogue::kResolutions600;

// A value that follows another property (id `source`) plus one, told through
// its owner lookups.
class Follower : public SingleInt {
public:
    Follower(uint16_t id, uint16_t source) : SingleInt(id, SI_ACCESS_READ_ONLY, 0), source_(source) {}
    void RegisterDependencies() override { ListenTo({source_}); }
    void OnDependencyChanged(uint16_t) override {
        int32_t v = 0;
        if (DependencyInt(source_, &v)) SetInt(v + 1);
    }

private:
    uint16_t source_;
};

TEST(Notification, AddListenerTellsAtOnceAndOnlyOnce) {
    std::vector<uint16_t> log;
    SingleInt subject(1, SI_ACCESS_READ_WRITE, 0);
    Recorder r(2, &log);
    subject.AddListener(&r);
    subject.AddListener(&r);
    EXPECT_EQ(r.heard, (std::vector<uint16_t>{1, 1})) << "told at each add";
    EXPECT_EQ(subject.Listeners().size(), 1u) << "but listed once";
    subject.SetInt(5);
    EXPECT_EQ(r.heard.size(), 3u);
    subject.SetInt(5);
    EXPECT_EQ(r.heard.size(), 3u) << "no change, no notification";
}

TEST(Notification, IsDepthFirst) {
    // a -> b -> c, and a -> d: c hears before d.
    OwnerSource owner;
    std::vector<uint16_t> log;
    SingleInt a(1, SI_ACCESS_READ_WRITE, 0);
    Follower b(2, 1);
    Recorder c(3, &log);
    Recorder d(4, &log);
    owner.AddProperty(&a);
    owner.AddProperty(&b);
    b.RegisterDependencies();
    a.AddListener(&d);
    b.AddListener(&c);
    log.clear();
    a.SetInt(10);
    EXPECT_EQ(b.GetInt(), 11);
    EXPECT_EQ(log, (std::vector<uint16_t>{3, 4}));
}

TEST(Notification, ResolutionCycleEnds) {
    OwnerSource owner;
    XResolutionProp x(kResolutions600, 100);
    YResolutionProp y(kResolutions600, 100);
    owner.AddProperty(&x);
    owner.AddProperty(&y);
    owner.RegisterAllDependencies();
    SIProperty r = IntRecord(SI_CONTAINER_SINGLE, 300);
    ASSERT_TRUE(x.Set(&r));
    EXPECT_EQ(y.GetInt(), 300);
    r = IntRecord(SI_CONTAINER_LIST, 0, 450);
    EXPECT_FALSE(y.Set(&r)) << "not in the list";
    r = IntRecord(SI_CONTAINER_LIST, 0, 600);
    ASSERT_TRUE(y.Set(&r));
    EXPECT_EQ(x.GetInt(), 600);
}

struct ToneCase {
    const char* name;
    int32_t highlight, shadow;  // starting values
    bool setShadow;             // else the highlight is set
    int32_t value;
    int32_t highlightAfter, shadowAfter;
};

class HighlightShadow : public ::testing::TestWithParam<ToneCase> {};

TEST_P(HighlightShadow, TheOtherMoves) {
    const ToneCase& c = GetParam();
    OwnerSource owner;
    HighlightProp highlight;
    ShadowProp shadow;
    owner.AddProperty(&highlight);
    owner.AddProperty(&shadow);
    owner.RegisterAllDependencies();
    highlight.SetInt(c.highlight);
    shadow.SetInt(c.shadow);
    SIProperty r = IntRecord(SI_CONTAINER_SINGLE, c.value);
    ASSERT_TRUE(c.setShadow ? shadow.Set(&r) : highlight.Set(&r));
    EXPECT_EQ(highlight.GetInt(), c.highlightAfter);
    EXPECT_EQ(shadow.GetInt(), c.shadowAfter);
}

INSTANTIATE_TEST_SUITE_P(Tone, HighlightShadow,
                         ::testing::Values(ToneCase{"ShadowPushesHighlight", 200, 0, true, 200, 201, 200},
                                           ToneCase{"HighlightPushesShadow", 255, 100, false, 100, 100, 99},
                                           ToneCase{"NoOverlap", 200, 10, true, 150, 200, 150}),
                         CaseName());

TEST(Dependencies, AreFoundUpstreamThroughTheOwner) {
    OwnerSource model;
    ImageProcessor stage;
    stage.SetSource(&model);
    SingleInt below(1, SI_ACCESS_READ_WRITE, 4);
    Follower above(2, 1);
    model.AddProperty(&below);
    stage.AddProperty(&above);
    stage.RegisterAllDependencies();
    EXPECT_EQ(above.GetInt(), 5) << "computed at registration";
    below.SetInt(7);
    EXPECT_EQ(above.GetInt(), 8);
}

TEST(Dependencies, MissingSourceLeavesTheValue) {
    OwnerSource owner;
    Follower lonely(2, 99);
    owner.AddProperty(&lonely);
    owner.RegisterAllDependencies();
    EXPECT_EQ(lonely.GetInt(), 0);
}

TEST(Reset, NotifiesEvenWhenUnchanged) {
    std::vector<uint16_t> log;
    RangeInt range(9, SI_ACCESS_READ_WRITE, -100, 100, 1, 0, true);
    ListInt list(8, SI_ACCESS_READ_WRITE, catalogue::kColorModes, 2);
    SingleBool flag(33, SI_ACCESS_READ_WRITE, 0);
    RangeFloat gamma(25, SI_ACCESS_READ_WRITE, 0.9f, 10.7f, 0.1f, 1.8f, true);
    ArrayUnsignedShort lut(28, SI_ACCESS_READ_WRITE);
    SingleInt single(2, SI_ACCESS_READ_ONLY, 600);
    Recorder r(1000, &log);
    for (Property* p : std::initializer_list<Property*>{&range, &list, &flag, &gamma, &lut, &single}) {
        p->AddListener(&r);
    }
    r.heard.clear();
    for (Property* p : std::initializer_list<Property*>{&range, &list, &flag, &gamma, &lut, &single}) {
        p->ResetToDefault();
    }
    EXPECT_EQ(r.heard, (std::vector<uint16_t>{9, 8, 33, 25, 28})) << "single ints do not reset";
}

TEST(SaveRestore, HonoursTheSaveFlagOfRanges) {
    RangeInt saved(9, SI_ACCESS_READ_WRITE, -100, 100, 1, 0, true);
    RangeInt unsaved(1020, SI_ACCESS_READ_WRITE, 0, 100, 1, 0, false);
    RangeFloat unsavedFloat(1030, SI_ACCESS_READ_WRITE, 0.0f, 5.0f, 0.001f, 1.0f, false);
    ListInt list(8, SI_ACCESS_READ_WRITE, catalogue::kColorModes, 2);
    for (Property* p : std::initializer_list<Property*>{&saved, &unsaved, &unsavedFloat, &list}) p->SaveRestore(true);
    saved.SetInt(50);
    unsaved.SetInt(60);
    unsavedFloat.SetFloat(2.0f);
    list.SetInt(0);
    std::vector<uint16_t> log;
    Recorder r(1000, &log);
    saved.AddListener(&r);
    r.heard.clear();
    for (Property* p : std::initializer_list<Property*>{&saved, &unsaved, &unsavedFloat, &list}) p->SaveRestore(false);
    EXPECT_EQ(saved.GetInt(), 0);
    EXPECT_EQ(unsaved.GetInt(), 60);
    EXPECT_FLOAT_EQ(unsavedFloat.GetFloat(), 2.0f);
    EXPECT_EQ(list.GetInt(), 2);
    EXPECT_EQ(r.heard, (std::vector<uint16_t>{9})) << "restore notifies";
}

TEST(Listeners, ForeignOnesAreDroppedAtDetach) {
    OwnerSource model;
    ImageProcessor stage;
    stage.SetSource(&model);
    SingleInt below(1, SI_ACCESS_READ_WRITE, 4);
    Follower sameSource(3, 1);
    Follower above(2, 1);
    model.AddProperty(&below);
    model.AddProperty(&sameSource);
    stage.AddProperty(&above);
    model.RegisterAllDependencies();
    stage.RegisterAllDependencies();
    ASSERT_EQ(below.Listeners().size(), 2u);
    model.ClearForeignListeners();
    stage.Shutdown();
    ASSERT_EQ(below.Listeners().size(), 1u);
    EXPECT_EQ(below.Listeners()[0], &sameSource);
    EXPECT_EQ(above.Owner(), nullptr);
    EXPECT_EQ(stage.FindOwnProperty(2), nullptr);
}

}  // namespace
