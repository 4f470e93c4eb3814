#include "api/LibraryState.h"

#include "engine/chain/ProcessingChain.h"
#include "engine/model/Scanner.h"

namespace {

// Both at namespace scope and in this order: the state (and the scanner it
// owns) goes before the chain the scanner is attached to.
ProcessingChain chain;
LibraryState library;

}  // namespace

LibraryState& Library() { return library; }

ProcessingChain& Chain() { return chain; }

RunningCall::RunningCall() {
    std::lock_guard<std::mutex> guard(library.callsMutex);
    ++library.callsRunning;
}

RunningCall::~RunningCall() {
    std::lock_guard<std::mutex> guard(library.callsMutex);
    --library.callsRunning;
}
