// A fixture for one stage built on a scripted source.
#pragma once

#include "ScriptedSource.h"

#include <SIPropertyIds.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

template <typename Stage>
class StageTest : public ::testing::Test {
protected:
    explicit StageTest(int32_t opticalDpi = 600) : source(opticalDpi) {}

    // Links the stage to the source, initialises it and resets every property.
    void Build()
    {
        stage.SetSource(&source);
        ASSERT_TRUE(stage.Init());
        stage.ResetAll();
    }

    int32_t Own(uint16_t id) { return stage.FindOwnProperty(id)->GetInt(); }
    void SetOwn(uint16_t id, int32_t value)
    {
        ASSERT_TRUE(SetAsFrontEnd(stage.FindOwnProperty(id), value)) << id << " := " << value;
    }

    // Sets the stage's own properties as a front end does and starts a page at
    // `mode`; the scanner's bytes per line follow what the stage wrote through.
    void StartWith(int32_t mode, std::initializer_list<std::pair<uint16_t, int32_t>> settings)
    {
        // Bits per pixel first: the stage's bytes per line follow them.
        source.SetGeometry(mode, source.Get(SI_PROP_SCAN_WIDTH), source.Get(SI_PROP_SCAN_LENGTH));
        for (const auto& [id, value] : settings) {
            SetOwn(id, value);
        }
        source.SetGeometry(mode, source.Get(SI_PROP_SCAN_WIDTH), source.Get(SI_PROP_SCAN_LENGTH));
        ASSERT_EQ(stage.GetActiveSource(), &stage);
        ASSERT_TRUE(stage.Start());
    }

    ScriptedSource source;
    Stage stage;
};
