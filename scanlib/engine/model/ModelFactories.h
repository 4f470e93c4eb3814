// The factories of the shipped models, registered at library load. Each
// accepts its names exactly (same length, same bytes).
#pragma once

#include "engine/model/ScannerFactory.h"

class RM310Factory : public ScannerFactory {
public:
    std::unique_ptr<Scanner> Create(const std::string& modelName) override;
};

class RM410Factory : public ScannerFactory {
public:
    std::unique_ptr<Scanner> Create(const std::string& modelName) override;
};

class RM460Factory : public ScannerFactory {
public:
    std::unique_ptr<Scanner> Create(const std::string& modelName) override;
};
