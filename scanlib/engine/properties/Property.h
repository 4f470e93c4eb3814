// The property model: every setting and read-only fact of the library is a
// Property with an id, an access mode, a value in one container shape, a list
// of listeners and an owner (the image source that registered it).
//
// The container classes below implement the Get/Set rules of the SIProperty
// record; concrete properties derive from them and recompute in
// OnDependencyChanged. The virtual operations are declared in their fixed
// slot order.
#pragma once

#include <SIInterface.h>

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

class ImageSource;

class Property {
public:
    Property(uint16_t id, uint16_t access) : id_(id), access_(access) {}
    Property(const Property&) = delete;
    Property& operator=(const Property&) = delete;

    virtual ~Property();                                  // 1
    virtual int32_t GetInt();                             // 2
    // Sets the value without the container checks of Set; notifies on change.
    virtual bool SetInt(int32_t value);                   // 3
    virtual int32_t GetDefaultInt();                      // 4
    virtual float GetFloat();                             // 5
    virtual float GetDefaultFloat();                      // 6
    virtual bool SetFloat(float value);                   // 7
    virtual bool SetDefaultFloat(float value);            // 8
    virtual std::string GetString();                      // 9
    virtual bool SetString(const std::string& value);     // 10
    virtual uint16_t ItemType() const = 0;                // 11
    // Fills container, item type, access and the slots (the caller set the
    // id). False only when the value cannot be read at all (a device value
    // without its device): the record is then left untouched and the SI
    // layer reports a failure instead of SI_OK.
    virtual bool Get(SIProperty* record);                 // 12
    // The container rules; false is reported as SI_ERR_PROPERTY_INVALID.
    virtual bool Set(const SIProperty* record);           // 13
    virtual void OnDependencyChanged(uint16_t id);        // 14
    virtual void ResetToDefault();                        // 15
    virtual void SaveRestore(bool save);                  // 16
    virtual void RegisterDependencies();                  // 17

    uint16_t Id() const { return id_; }
    uint16_t Access() const { return access_; }
    ImageSource* Owner() const { return owner_; }
    void SetOwner(ImageSource* owner) { owner_ = owner; }

    // Appends the listener unless present, then tells it at once so that it
    // computes its value from the current state.
    void AddListener(Property* listener);
    // OnDependencyChanged(Id()) on every listener, in the order added.
    void NotifyListeners();
    void ClearListeners() { listeners_.clear(); }
    // Drops the listeners that belong to another image source than `keep`.
    void RemoveListenersNotOwnedBy(const ImageSource* keep);
    const std::vector<Property*>& Listeners() const { return listeners_; }

    // The property `id` as the owner sees it (own map first, then upstream);
    // null without an owner or when absent.
    Property* FindDependency(uint16_t id) const;
    // The property `id` upstream of the owner only.
    Property* FindUpstreamDependency(uint16_t id) const;

protected:
    bool Writable() const { return access_ == SI_ACCESS_READ_WRITE; }
    // The int value of the dependency `id`; false when it cannot be found.
    bool DependencyInt(uint16_t id, int32_t* value) const;
    // Registers this property as a listener of every id that can be found.
    void ListenTo(std::initializer_list<uint16_t> ids);
    // Fills the id-independent header fields of a record.
    void FillHeader(SIProperty* record, uint16_t container) const;

private:
    uint16_t id_;
    uint16_t access_;
    ImageSource* owner_ = nullptr;
    std::vector<Property*> listeners_;
};

// A single int32. The value is atomic: the scan code publishes some values
// (the page length found at the paper end) from the spooler's thread.
class SingleInt : public Property {
public:
    SingleInt(uint16_t id, uint16_t access, int32_t value) : Property(id, access), value_(value), saved_(value) {}

    int32_t GetInt() override { return value_.load(std::memory_order_acquire); }
    bool SetInt(int32_t value) override;
    int32_t GetDefaultInt() override { return GetInt(); }
    uint16_t ItemType() const override { return SI_TYPE_INT32; }
    bool Get(SIProperty* record) override;
    bool Set(const SIProperty* record) override;
    void SaveRestore(bool save) override;

private:
    std::atomic<int32_t> value_;
    int32_t saved_;
};

// A 0/1 value with a default.
class SingleBool : public Property {
public:
    SingleBool(uint16_t id, uint16_t access, int32_t defaultValue)
        : Property(id, access), current_(defaultValue), default_(defaultValue), saved_(defaultValue) {}

    int32_t GetInt() override { return current_; }
    bool SetInt(int32_t value) override;
    uint16_t ItemType() const override { return SI_TYPE_BOOL; }
    bool Get(SIProperty* record) override;
    bool Set(const SIProperty* record) override;
    void ResetToDefault() override;
    void SaveRestore(bool save) override;

    int32_t Default() const { return default_; }
    void SetDefault(int32_t value) { default_ = value; }

protected:
    // Stores a 0/1 value and notifies when it changed.
    void Store(int32_t value);
    // Container 0, type 7, value 0 or 1; false otherwise.
    static bool AcceptedValue(const SIProperty* record, int32_t* value);

private:
    int32_t current_;
    int32_t default_;
    int32_t saved_;
};

// A text; Get hands out a pointer to the property's own copy.
class SingleString : public Property {
public:
    SingleString(uint16_t id, uint16_t access, std::string text = {})
        : Property(id, access), text_(std::move(text)), saved_(text_) {}

    std::string GetString() override { return text_; }
    bool SetString(const std::string& value) override;
    uint16_t ItemType() const override { return SI_TYPE_STRING; }
    bool Get(SIProperty* record) override;
    bool Set(const SIProperty* record) override;
    void SaveRestore(bool save) override;

private:
    std::string text_;
    std::string saved_;
};

// An int32 in minimum..maximum on a step grid.
class RangeInt : public Property {
public:
    RangeInt(uint16_t id, uint16_t access, int32_t minimum, int32_t maximum, int32_t step, int32_t defaultValue,
             bool saveFlag)
        : RangeInt(id, access, minimum, maximum, step, defaultValue, defaultValue, saveFlag) {}
    RangeInt(uint16_t id, uint16_t access, int32_t minimum, int32_t maximum, int32_t step, int32_t defaultValue,
             int32_t current, bool saveFlag)
        : Property(id, access), minimum_(minimum), maximum_(maximum), step_(step), default_(defaultValue),
          current_(current), saved_(current), saveFlag_(saveFlag) {}

    int32_t GetInt() override { return current_; }
    bool SetInt(int32_t value) override;
    int32_t GetDefaultInt() override { return default_; }
    uint16_t ItemType() const override { return SI_TYPE_INT32; }
    bool Get(SIProperty* record) override;
    bool Set(const SIProperty* record) override;
    void ResetToDefault() override;
    void SaveRestore(bool save) override;
    virtual bool SetDefaultInt(int32_t value);            // 18

    int32_t Minimum() const { return minimum_; }
    int32_t Maximum() const { return maximum_; }
    int32_t Step() const { return step_; }
    bool SaveFlag() const { return saveFlag_; }
    void SetMinimum(int32_t value) { minimum_ = value; }
    void SetMaximum(int32_t value) { maximum_ = value; }
    void SetStep(int32_t value) { step_ = value; }
    // Whether value lies in the range and on the step grid.
    bool Accepts(int32_t value) const;
    // Lowers (or raises) the current value into the range; notifies on change.
    void LimitToRange();

private:
    int32_t minimum_;
    int32_t maximum_;
    int32_t step_;
    int32_t default_;
    int32_t current_;
    int32_t saved_;
    bool saveFlag_;
};

// A single-precision float in minimum..maximum, snapped to its step grid.
class RangeFloat : public Property {
public:
    RangeFloat(uint16_t id, uint16_t access, float minimum, float maximum, float step, float defaultValue,
               bool saveFlag)
        : Property(id, access), minimum_(minimum), maximum_(maximum), step_(step), default_(defaultValue),
          current_(defaultValue), saved_(defaultValue), saveFlag_(saveFlag) {}

    float GetFloat() override { return current_; }
    float GetDefaultFloat() override { return default_; }
    bool SetFloat(float value) override;
    bool SetDefaultFloat(float value) override;
    uint16_t ItemType() const override { return SI_TYPE_FLOAT; }
    bool Get(SIProperty* record) override;
    bool Set(const SIProperty* record) override;
    void ResetToDefault() override;
    void SaveRestore(bool save) override;

    float Minimum() const { return minimum_; }
    float Maximum() const { return maximum_; }
    float Step() const { return step_; }
    bool SaveFlag() const { return saveFlag_; }
    void SetMinimum(float value) { minimum_ = value; }
    void SetMaximum(float value) { maximum_ = value; }
    // minimum + step x trunc((value + step/2 - minimum) / step), in single precision.
    float Snap(float value) const;

protected:
    // Stores the value and notifies when it changed.
    void Store(float value);

private:
    float minimum_;
    float maximum_;
    float step_;
    float default_;
    float current_;
    float saved_;
    bool saveFlag_;
};

// An int32 chosen from a list of items; the items are not owned.
class ListInt : public Property {
public:
    ListInt(uint16_t id, uint16_t access, std::span<const int32_t> items, int32_t defaultValue)
        : Property(id, access), items_(items), default_(defaultValue), current_(defaultValue), saved_(defaultValue) {}

    int32_t GetInt() override { return current_; }
    bool SetInt(int32_t value) override;
    int32_t GetDefaultInt() override { return default_; }
    uint16_t ItemType() const override { return SI_TYPE_INT32; }
    bool Get(SIProperty* record) override;
    bool Set(const SIProperty* record) override;
    void ResetToDefault() override;
    void SaveRestore(bool save) override;

    std::span<const int32_t> Items() const { return items_; }
    void SetItems(std::span<const int32_t> items) { items_ = items; }
    void SetDefault(int32_t value) { default_ = value; }
    bool Contains(int32_t value) const;

private:
    std::span<const int32_t> items_;
    int32_t default_;
    int32_t current_;
    int32_t saved_;
};

// A table of uint16 (the user tone tables); empty means no table is set.
class ArrayUnsignedShort : public Property {
public:
    static constexpr uintptr_t kTableSize = 256;

    ArrayUnsignedShort(uint16_t id, uint16_t access) : Property(id, access) {}

    uint16_t ItemType() const override { return SI_TYPE_UINT16; }
    bool Get(SIProperty* record) override;
    bool Set(const SIProperty* record) override;
    void ResetToDefault() override;
    void SaveRestore(bool save) override;

    std::span<const uint16_t> Table() const { return current_; }

private:
    std::vector<uint16_t> current_;
    std::vector<uint16_t> saved_;
};
