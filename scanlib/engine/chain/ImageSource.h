// An element of the image-source chain: the scanner model or a processing
// stage. It can start, read and end a scan and owns a map of properties (not
// the property objects themselves). Virtual operations in their slot order.
#pragma once

#include <SIInterface.h>

#include <cstdint>
#include <map>

class Property;

class ImageSource {
public:
    using PropertyMap = std::map<uint16_t, Property*>;

    ImageSource() = default;
    ImageSource(const ImageSource&) = delete;
    ImageSource& operator=(const ImageSource&) = delete;

    virtual bool Start() = 0;                                                            // 1
    // Up to `lines` whole lines of `side` (0 front, 1 back) into buffer: 0 with
    // the count stored, or SI_END_OF_PAGE with a count of 0. Device failures
    // are thrown as DeviceIOException.
    virtual SIResult Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead) = 0;  // 2
    virtual void End() = 0;                                                              // 3
    // The line of the source's single stream that the next Read returns.
    virtual void SetReadLine(int line);                                                  // 4
    virtual ImageSource* GetActiveSource();                                              // 5
    virtual Property* FindProperty(uint16_t id);                                         // 6
    virtual Property* FindOwnProperty(uint16_t id);                                      // 7
    virtual Property* FindUpstreamProperty(uint16_t id);                                 // 8
    virtual void ResetAll();                                                             // 9
    virtual void SaveRestoreAll(bool save);                                              // 10
    virtual ~ImageSource() = default;

    // map[id] := property (replacing an earlier one); the property's owner := this.
    void AddProperty(Property* property);
    // RegisterDependencies on every own property.
    void RegisterAllDependencies();
    // Empties every own property's listener list.
    void ClearAllListeners();
    // Drops, from every own property, the listeners registered by other sources.
    void ClearForeignListeners();
    // Clears listeners and owners of the own properties and empties the map.
    void ReleaseProperties();
    const PropertyMap& Properties() const { return properties_; }

private:
    PropertyMap properties_;
};
