// Makers of scanner models by name. Each factory registers itself when it is
// constructed (at library load, as a namespace-scope object) by pushing
// itself onto the front of one singly linked list.
#pragma once

#include <memory>
#include <string>

class Scanner;

class ScannerFactory {
public:
    ScannerFactory();
    // Leaves the list.
    virtual ~ScannerFactory();
    ScannerFactory(const ScannerFactory&) = delete;
    ScannerFactory& operator=(const ScannerFactory&) = delete;

    // An unopened model for the name, or null when this factory does not make it.
    virtual std::unique_ptr<Scanner> Create(const std::string& modelName) = 0;

    static ScannerFactory* First();
    ScannerFactory* Next() const { return next_; }

    // Asks the registered factories in turn; the first model made wins.
    static std::unique_ptr<Scanner> CreateByName(const std::string& modelName);

private:
    ScannerFactory* next_ = nullptr;
};
