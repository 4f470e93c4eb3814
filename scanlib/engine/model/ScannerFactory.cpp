#include "engine/model/ScannerFactory.h"

#include "engine/model/Scanner.h"

namespace {

// Constant-initialised, so factories built during other files' static
// initialisation always find it ready.
constinit ScannerFactory* listHead = nullptr;

}  // namespace

ScannerFactory::ScannerFactory() : next_(listHead) { listHead = this; }

ScannerFactory::~ScannerFactory() {
    for (ScannerFactory** link = &listHead; *link; link = &(*link)->next_) {
        if (*link == this) {
            *link = next_;
            break;
        }
    }
}

ScannerFactory* ScannerFactory::First() { return listHead; }

std::unique_ptr<Scanner> ScannerFactory::CreateByName(const std::string& modelName) {
    for (ScannerFactory* factory = listHead; factory; factory = factory->next_) {
        if (auto scanner = factory->Create(modelName)) return scanner;
    }
    return nullptr;
}
