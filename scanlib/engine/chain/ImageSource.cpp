#include "engine/chain/ImageSource.h"

#include "engine/properties/Property.h"

void ImageSource::SetReadLine(int) {}

ImageSource* ImageSource::GetActiveSource() { return this; }

Property* ImageSource::FindProperty(uint16_t id) {
    auto it = properties_.find(id);
    return it == properties_.end() ? nullptr : it->second;
}

Property* ImageSource::FindOwnProperty(uint16_t id) { return ImageSource::FindProperty(id); }

Property* ImageSource::FindUpstreamProperty(uint16_t) { return nullptr; }

void ImageSource::ResetAll() {
    for (auto& [id, property] : properties_) property->ResetToDefault();
}

void ImageSource::SaveRestoreAll(bool save) {
    for (auto& [id, property] : properties_) property->SaveRestore(save);
}

void ImageSource::AddProperty(Property* property) {
    if (!property) return;
    properties_[property->Id()] = property;
    property->SetOwner(this);
}

void ImageSource::RegisterAllDependencies() {
    for (auto& [id, property] : properties_) property->RegisterDependencies();
}

void ImageSource::ClearAllListeners() {
    for (auto& [id, property] : properties_) property->ClearListeners();
}

void ImageSource::ClearForeignListeners() {
    for (auto& [id, property] : properties_) property->RemoveListenersNotOwnedBy(this);
}

void ImageSource::ReleaseProperties() {
    for (auto& [id, property] : properties_) {
        property->ClearListeners();
        if (property->Owner() == this) property->SetOwner(nullptr);
    }
    properties_.clear();
}
