#include "engine/chain/ImageProcessor.h"

bool ImageProcessor::Start() { return upstream_ ? upstream_->Start() : false; }

SIResult ImageProcessor::Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) {
    if (!upstream_) {
        if (linesRead) *linesRead = 0;
        return SI_ERR_UNKNOWN;
    }
    return upstream_->Read(buffer, lines, side, linesRead);
}

void ImageProcessor::End() {
    if (upstream_) upstream_->End();
}

void ImageProcessor::SetReadLine(int line) {
    if (activeUpstream_) activeUpstream_->SetReadLine(line);
}

ImageSource* ImageProcessor::GetActiveSource() {
    activeUpstream_ = upstream_ ? upstream_->GetActiveSource() : nullptr;
    return IsActive() ? this : activeUpstream_;
}

Property* ImageProcessor::FindProperty(uint16_t id) {
    if (Property* own = ImageSource::FindProperty(id)) return own;
    return upstream_ ? upstream_->FindProperty(id) : nullptr;
}

Property* ImageProcessor::FindOwnProperty(uint16_t id) { return ImageSource::FindProperty(id); }

Property* ImageProcessor::FindUpstreamProperty(uint16_t id) { return upstream_ ? upstream_->FindProperty(id) : nullptr; }

void ImageProcessor::ResetAll() {
    if (upstream_) upstream_->ResetAll();
    ImageSource::ResetAll();
}

void ImageProcessor::SaveRestoreAll(bool save) {
    if (upstream_) upstream_->SaveRestoreAll(save);
    ImageSource::SaveRestoreAll(save);
}

bool ImageProcessor::SetSource(ImageSource* source) {
    upstream_ = source;
    activeUpstream_ = nullptr;
    return true;
}

bool ImageProcessor::IsActive() { return false; }

bool ImageProcessor::Init() { return true; }

void ImageProcessor::Shutdown() { ReleaseProperties(); }
