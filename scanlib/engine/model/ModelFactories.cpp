#include "engine/model/ModelFactories.h"

#include "engine/model/RM310.h"
#include "engine/model/RM410.h"
#include "engine/model/RM460.h"

std::unique_ptr<Scanner> RM310Factory::Create(const std::string& modelName) {
    if (modelName != "RM310") return nullptr;
    return std::make_unique<RM310>();
}

std::unique_ptr<Scanner> RM410Factory::Create(const std::string& modelName) {
    if (modelName != "RM410" && modelName != "RM1100") return nullptr;
    return std::make_unique<RM410>();
}

std::unique_ptr<Scanner> RM460Factory::Create(const std::string& modelName) {
    if (modelName != "RM460") return nullptr;
    return std::make_unique<RM460>();
}

namespace {

RM310Factory rm310Factory;
RM410Factory rm410Factory;
RM460Factory rm460Factory;

}  // namespace
