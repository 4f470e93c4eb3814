#include "engine/chain/ProcessingChain.h"

#include "engine/chain/StageFactories.h"
#include "engine/spool/Spooler.h"

ProcessingChain::ProcessingChain()
    : spooler_(std::make_unique<Spooler>()),
      planarToChunky_(CreatePlanarToChunkyStage()),
      duplexSplitter_(CreateDuplexSplitterStage()),
      descreen_(CreateDescreenStage()),
      scaler_(CreateScalerStage()),
      endOfPage_(CreateEndOfPageStage()),
      stages_{spooler_.get(), planarToChunky_.get(), duplexSplitter_.get(),
              descreen_.get(), scaler_.get(), endOfPage_.get()} {}

ProcessingChain::~ProcessingChain() { Detach(); }

bool ProcessingChain::Attach(ImageSource* scanner) {
    if (!scanner) return false;
    if (attached_) return true;
    scanner_ = scanner;
    if (!Build(scanner)) {
        Detach();
        return false;
    }
    attached_ = true;
    ResetAll();
    return true;
}

bool ProcessingChain::Build(ImageSource* scanner) {
    built_ = true;
    ImageSource* previous = scanner;
    for (ImageProcessor* stage : stages_) {
        if (!stage) return false;
        stage->SetSource(previous);
        if (!stage->Init()) return false;
        previous = stage;
    }
    return true;
}

void ProcessingChain::Detach() {
    if (!attached_ && !built_) return;
    if (active_) {
        // Closed during a scan: end it before the model goes away.
        try {
            active_->End();
        } catch (...) {
        }
        active_ = nullptr;
    }
    for (ImageProcessor* stage : stages_) {
        if (stage) stage->Shutdown();
    }
    for (ImageProcessor* stage : stages_) {
        if (stage) stage->SetSource(nullptr);
    }
    // The model's properties keep only the listeners among themselves.
    if (scanner_) scanner_->ClearForeignListeners();
    attached_ = false;
    built_ = false;
    scanner_ = nullptr;
}

Property* ProcessingChain::FindProperty(uint16_t id) {
    if (!attached_) return scanner_ ? scanner_->FindProperty(id) : nullptr;
    return stages_.back()->FindProperty(id);
}

bool ProcessingChain::StartScan() {
    if (!attached_) return false;
    ImageSource* source = stages_.back()->GetActiveSource();
    if (!source) return false;
    // Active only once its start succeeded: a start that fails or throws
    // leaves nothing for a later end or detach to end.
    if (!source->Start()) return false;
    active_ = source;
    return true;
}

SIResult ProcessingChain::ReadImageData(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) {
    if (!active_) {
        if (linesRead) *linesRead = 0;
        return SI_ERR_NOT_SCANNING;
    }
    return active_->Read(buffer, lines, side, linesRead);
}

void ProcessingChain::EndScan() {
    ImageSource* active = active_;
    active_ = nullptr;
    if (active) active->End();
}

void ProcessingChain::ResetAll() {
    if (attached_) stages_.back()->ResetAll();
    else if (scanner_) scanner_->ResetAll();
}

void ProcessingChain::SaveRestoreAll(bool save) {
    if (attached_) stages_.back()->SaveRestoreAll(save);
    else if (scanner_) scanner_->SaveRestoreAll(save);
}
