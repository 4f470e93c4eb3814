// Small stand-ins for property tests: an image source to own properties and a
// listener that records what it was told.
#pragma once

#include "engine/chain/ImageProcessor.h"
#include "engine/chain/ImageSource.h"
#include "engine/properties/Property.h"
#include <SIRecord.h>

#include <SIInterface.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

class OwnerSource : public ImageSource {
public:
    bool Start() override { return true; }
    SIResult Read(uint8_t*, uint32_t, uint32_t, int* linesRead) override {
        *linesRead = 0;
        return SI_END_OF_PAGE;
    }
    void End() override {}
};

// Records the ids of every change it hears about, in order; shares one log
// between several recorders to check the order across them.
class Recorder : public SingleInt {
public:
    Recorder(uint16_t id, std::vector<uint16_t>* log) : SingleInt(id, SI_ACCESS_READ_ONLY, 0), log_(log) {}
    void OnDependencyChanged(uint16_t changed) override {
        log_->push_back(Id());
        heard.push_back(changed);
    }
    std::vector<uint16_t> heard;

private:
    std::vector<uint16_t>* log_;
};

inline SIProperty IntRecord(uint16_t container, int32_t v0, int32_t v1 = 0, int32_t v4 = 0) {
    SIProperty r{};
    r.container = container;
    r.itemType = SI_TYPE_INT32;
    r.value[0] = SlotFromInt(v0);
    r.value[1] = SlotFromInt(v1);
    r.value[4] = SlotFromInt(v4);
    return r;
}

inline SIProperty FloatRecord(uint16_t container, float v) {
    SIProperty r{};
    r.container = container;
    r.itemType = SI_TYPE_FLOAT;
    r.value[container == SI_CONTAINER_RANGE ? 4 : 0] = SlotFromFloat(v);
    return r;
}

inline SIProperty BoolRecord(int32_t v) {
    SIProperty r{};
    r.container = SI_CONTAINER_SINGLE;
    r.itemType = SI_TYPE_BOOL;
    r.value[0] = SlotFromInt(v);
    return r;
}

// Names parameterised cases after their `name` field.
struct CaseName {
    template <typename Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& param) const {
        return param.param.name;
    }
};
