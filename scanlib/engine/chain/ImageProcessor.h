// A processing stage of the chain. By default it passes everything through to
// the element below; a stage overrides Start/Read/End with its own processing
// and reads from its active upstream.
#pragma once

#include "engine/chain/ImageSource.h"

class ImageProcessor : public ImageSource {
public:
    bool Start() override;
    SIResult Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) override;
    void End() override;
    void SetReadLine(int line) override;
    // Records the active source below, then answers this stage when it is
    // active, else that source.
    ImageSource* GetActiveSource() override;
    Property* FindProperty(uint16_t id) override;
    Property* FindOwnProperty(uint16_t id) override;
    Property* FindUpstreamProperty(uint16_t id) override;
    // Upstream first, then the own properties.
    void ResetAll() override;
    void SaveRestoreAll(bool save) override;
    virtual bool SetSource(ImageSource* source);                                         // 11
    virtual bool IsActive();                                                             // 12
    // At chain build, after SetSource: registers the stage's properties and
    // wires their dependencies, allocates what the stage needs.
    virtual bool Init();                                                                 // 13
    // At chain detach: stops and frees what Init made and releases the
    // stage's properties (listeners, owners, map).
    virtual void Shutdown();                                                             // 14

    ImageSource* Upstream() const { return upstream_; }
    ImageSource* ActiveUpstream() const { return activeUpstream_; }
    // The source a stage's own processing reads: the active upstream found at
    // scan start (inactive stages in between skipped), else the upstream.
    ImageSource* ReadSource() const { return activeUpstream_ ? activeUpstream_ : upstream_; }

private:
    ImageSource* upstream_ = nullptr;
    ImageSource* activeUpstream_ = nullptr;
};
