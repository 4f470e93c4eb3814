#include "engine/properties/Property.h"

#include "engine/chain/ImageSource.h"
#include <SIRecord.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Rounds to single precision: the 32-bit build computes floats on the x87
// stack, whose wider intermediates would otherwise change the snapping.
float Single(float v) {
    volatile float stored = v;
    return stored;
}

// The int value of a record for the given accepted containers: value[0] for
// a single, value[slot] for the container's own shape.
bool IntFromRecord(const SIProperty* record, uint16_t container, size_t slot, int32_t* value) {
    if (record->itemType != SI_TYPE_INT32) return false;
    if (record->container == SI_CONTAINER_SINGLE) {
        *value = IntFromSlot(record->value[0]);
        return true;
    }
    if (record->container == container) {
        *value = IntFromSlot(record->value[slot]);
        return true;
    }
    return false;
}

// Stores the value and tells the listeners when it changed.
template <typename T>
void StoreValue(Property& p, T& current, const T& value) {
    if (current == value) return;
    current = value;
    p.NotifyListeners();
}

// Reset: current := default, then tell the listeners (changed or not).
template <typename T>
void ResetValue(Property& p, T& current, const T& defaultValue) {
    current = defaultValue;
    p.NotifyListeners();
}

// Save copies current aside; restore copies it back and tells the listeners.
template <typename T>
void SaveOrRestore(Property& p, bool save, T& current, T& saved) {
    if (save) {
        saved = current;
        return;
    }
    current = saved;
    p.NotifyListeners();
}

}  // namespace

// ---- Property ------------------------------------------------------------

Property::~Property() = default;
int32_t Property::GetInt() { return 0; }
bool Property::SetInt(int32_t) { return false; }
int32_t Property::GetDefaultInt() { return 0; }
float Property::GetFloat() { return 0.0f; }
float Property::GetDefaultFloat() { return 0.0f; }
bool Property::SetFloat(float) { return false; }
bool Property::SetDefaultFloat(float) { return false; }
std::string Property::GetString() { return {}; }
bool Property::SetString(const std::string&) { return false; }
bool Property::Get(SIProperty*) { return true; }
bool Property::Set(const SIProperty*) { return false; }
void Property::OnDependencyChanged(uint16_t) {}
void Property::ResetToDefault() {}
void Property::SaveRestore(bool) {}
void Property::RegisterDependencies() {}

void Property::AddListener(Property* listener) {
    if (!listener) return;
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) listeners_.push_back(listener);
    listener->OnDependencyChanged(id_);
}

void Property::NotifyListeners() {
    // By index: a listener may register further listeners while it recomputes.
    for (size_t i = 0; i < listeners_.size(); ++i) listeners_[i]->OnDependencyChanged(id_);
}

void Property::RemoveListenersNotOwnedBy(const ImageSource* keep) {
    std::erase_if(listeners_, [keep](const Property* p) { return p->Owner() != keep; });
}

Property* Property::FindDependency(uint16_t id) const { return owner_ ? owner_->FindProperty(id) : nullptr; }

Property* Property::FindUpstreamDependency(uint16_t id) const {
    return owner_ ? owner_->FindUpstreamProperty(id) : nullptr;
}

bool Property::DependencyInt(uint16_t id, int32_t* value) const {
    Property* p = FindDependency(id);
    if (!p) return false;
    *value = p->GetInt();
    return true;
}

void Property::ListenTo(std::initializer_list<uint16_t> ids) {
    for (uint16_t id : ids) {
        if (Property* p = FindDependency(id)) p->AddListener(this);
    }
}

void Property::FillHeader(SIProperty* record, uint16_t container) const {
    record->container = container;
    record->itemType = ItemType();
    record->access = access_;
}

// ---- SingleInt -----------------------------------------------------------

bool SingleInt::SetInt(int32_t value) {
    if (value_.exchange(value, std::memory_order_acq_rel) != value) NotifyListeners();
    return true;
}

bool SingleInt::Get(SIProperty* record) {
    if (!record) return true;
    FillHeader(record, SI_CONTAINER_SINGLE);
    record->value[0] = record->value[1] = SlotFromInt(GetInt());
    return true;
}

bool SingleInt::Set(const SIProperty* record) {
    if (!record || !Writable()) return false;
    if (record->container != SI_CONTAINER_SINGLE || record->itemType != SI_TYPE_INT32) return false;
    return SingleInt::SetInt(IntFromSlot(record->value[0]));
}

void SingleInt::SaveRestore(bool save) {
    if (save) {
        saved_ = GetInt();
    } else {
        value_.store(saved_, std::memory_order_release);
        NotifyListeners();
    }
}

// ---- SingleBool ----------------------------------------------------------

void SingleBool::Store(int32_t value) { StoreValue(*this, current_, value); }

bool SingleBool::AcceptedValue(const SIProperty* record, int32_t* value) {
    if (record->container != SI_CONTAINER_SINGLE || record->itemType != SI_TYPE_BOOL) return false;
    int32_t v = IntFromSlot(record->value[0]);
    if (v != 0 && v != 1) return false;
    *value = v;
    return true;
}

bool SingleBool::SetInt(int32_t value) {
    if (value != 0 && value != 1) return false;
    Store(value);
    return true;
}

bool SingleBool::Get(SIProperty* record) {
    if (!record) return true;
    FillHeader(record, SI_CONTAINER_SINGLE);
    record->value[0] = SlotFromInt(current_);
    record->value[1] = SlotFromInt(default_);
    return true;
}

bool SingleBool::Set(const SIProperty* record) {
    int32_t v = 0;
    if (!record || !Writable() || !AcceptedValue(record, &v)) return false;
    Store(v);
    return true;
}

void SingleBool::ResetToDefault() { ResetValue(*this, current_, default_); }

void SingleBool::SaveRestore(bool save) {
    SaveOrRestore(*this, save, current_, saved_);
}

// ---- SingleString --------------------------------------------------------

bool SingleString::SetString(const std::string& value) {
    StoreValue(*this, text_, value);
    return true;
}

bool SingleString::Get(SIProperty* record) {
    if (!record) return true;
    FillHeader(record, SI_CONTAINER_SINGLE);
    record->value[0] = record->value[1] = SlotFromPointer(text_.c_str());
    return true;
}

bool SingleString::Set(const SIProperty* record) {
    if (!record || !Writable()) return false;
    if (record->container != SI_CONTAINER_SINGLE || record->itemType != SI_TYPE_STRING) return false;
    const char* text = PointerFromSlot<const char>(record->value[0]);
    if (!text) return false;
    return SingleString::SetString(text);
}

void SingleString::SaveRestore(bool save) {
    SaveOrRestore(*this, save, text_, saved_);
}

// ---- RangeInt ------------------------------------------------------------

bool RangeInt::SetInt(int32_t value) {
    StoreValue(*this, current_, value);
    return true;
}

bool RangeInt::SetDefaultInt(int32_t value) {
    default_ = value;
    return true;
}

bool RangeInt::Accepts(int32_t value) const {
    if (value < minimum_ || value > maximum_) return false;
    const int64_t step = step_ > 0 ? step_ : 1;
    return (static_cast<int64_t>(value) - minimum_) % step == 0;
}

void RangeInt::LimitToRange() {
    RangeInt::SetInt(std::clamp(current_, minimum_, std::max(minimum_, maximum_)));
}

bool RangeInt::Get(SIProperty* record) {
    if (!record) return true;
    FillHeader(record, SI_CONTAINER_RANGE);
    record->value[0] = SlotFromInt(minimum_);
    record->value[1] = SlotFromInt(maximum_);
    record->value[2] = SlotFromInt(step_);
    record->value[3] = SlotFromInt(default_);
    record->value[4] = SlotFromInt(current_);
    return true;
}

bool RangeInt::Set(const SIProperty* record) {
    int32_t v = 0;
    if (!record || !Writable() || !IntFromRecord(record, SI_CONTAINER_RANGE, 4, &v)) return false;
    if (!Accepts(v)) return false;
    return RangeInt::SetInt(v);
}

void RangeInt::ResetToDefault() { ResetValue(*this, current_, default_); }

void RangeInt::SaveRestore(bool save) {
    if (!saveFlag_) return;
    SaveOrRestore(*this, save, current_, saved_);
}

// ---- RangeFloat ----------------------------------------------------------

float RangeFloat::Snap(float value) const {
    if (!(step_ > 0.0f)) return value;
    const float q = Single(Single(Single(value + Single(step_ / 2.0f)) - minimum_) / step_);
    return Single(minimum_ + Single(step_ * std::trunc(q)));
}

void RangeFloat::Store(float value) { StoreValue(*this, current_, value); }

bool RangeFloat::SetFloat(float value) {
    const float h = Single(step_ / 2.0f);
    if (minimum_ <= Single(value + h)) value = Snap(value);
    Store(value);
    return true;
}

bool RangeFloat::SetDefaultFloat(float value) {
    default_ = value;
    return true;
}

bool RangeFloat::Get(SIProperty* record) {
    if (!record) return true;
    FillHeader(record, SI_CONTAINER_RANGE);
    record->value[0] = SlotFromFloat(minimum_);
    record->value[1] = SlotFromFloat(maximum_);
    record->value[2] = SlotFromFloat(step_);
    record->value[3] = SlotFromFloat(default_);
    record->value[4] = SlotFromFloat(current_);
    return true;
}

bool RangeFloat::Set(const SIProperty* record) {
    if (!record || !Writable() || record->itemType != SI_TYPE_FLOAT) return false;
    float v = 0.0f;
    if (record->container == SI_CONTAINER_SINGLE) {
        v = FloatFromSlot(record->value[0]);
    } else if (record->container == SI_CONTAINER_RANGE) {
        v = FloatFromSlot(record->value[4]);
    } else {
        return false;
    }
    const float h = Single(step_ / 2.0f);
    if (minimum_ <= Single(v + h) && Single(v - h) <= maximum_) {
        v = Snap(v);
        if (v > maximum_) v = maximum_;
        if (v < minimum_) v = minimum_;
    }
    if (!(minimum_ <= v && v <= maximum_)) return false;
    Store(v);
    return true;
}

void RangeFloat::ResetToDefault() { ResetValue(*this, current_, default_); }

void RangeFloat::SaveRestore(bool save) {
    if (!saveFlag_) return;
    SaveOrRestore(*this, save, current_, saved_);
}

// ---- ListInt -------------------------------------------------------------

bool ListInt::Contains(int32_t value) const {
    return std::find(items_.begin(), items_.end(), value) != items_.end();
}

bool ListInt::SetInt(int32_t value) {
    StoreValue(*this, current_, value);
    return true;
}

bool ListInt::Get(SIProperty* record) {
    if (!record) return true;
    FillHeader(record, SI_CONTAINER_LIST);
    record->value[0] = SlotFromInt(static_cast<int32_t>(items_.size()));
    record->value[1] = SlotFromInt(current_);
    record->value[2] = SlotFromInt(default_);
    record->value[3] = SlotFromPointer(items_.data());
    record->value[4] = 0;
    return true;
}

bool ListInt::Set(const SIProperty* record) {
    int32_t v = 0;
    if (!record || !Writable() || !IntFromRecord(record, SI_CONTAINER_LIST, 1, &v)) return false;
    if (!Contains(v)) return false;
    return ListInt::SetInt(v);
}

void ListInt::ResetToDefault() { ResetValue(*this, current_, default_); }

void ListInt::SaveRestore(bool save) {
    SaveOrRestore(*this, save, current_, saved_);
}

// ---- ArrayUnsignedShort --------------------------------------------------

bool ArrayUnsignedShort::Get(SIProperty* record) {
    if (!record) return true;
    FillHeader(record, SI_CONTAINER_ARRAY);
    record->value[0] = current_.size();
    record->value[1] = current_.empty() ? 0 : SlotFromPointer(current_.data());
    return true;
}

bool ArrayUnsignedShort::Set(const SIProperty* record) {
    if (!record || !Writable()) return false;
    if (record->container != SI_CONTAINER_ARRAY || record->itemType != SI_TYPE_UINT16) return false;
    const uintptr_t count = record->value[0];
    if (count == 0) {
        current_.clear();
        return true;
    }
    if (count != kTableSize) return false;
    const auto* items = PointerFromSlot<const uint16_t>(record->value[1]);
    if (!items) return false;
    if (current_.size() == kTableSize && std::equal(current_.begin(), current_.end(), items)) return true;
    current_.assign(items, items + kTableSize);
    NotifyListeners();
    return true;
}

void ArrayUnsignedShort::ResetToDefault() {
    current_.clear();
    NotifyListeners();
}

void ArrayUnsignedShort::SaveRestore(bool save) {
    SaveOrRestore(*this, save, current_, saved_);
}
