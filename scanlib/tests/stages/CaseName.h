// Names a parameterised test after the `name` field of its case.
#pragma once

#include <gtest/gtest.h>

#include <string>

struct CaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& testCase) const
    {
        return testCase.param.name;
    }
};
