// The contact image sensors fitted in the scanners: dummy pixels, the
// board-control flag, optical resolution and pixel count.
#pragma once

#include <cstdint>

class CISModule {
public:
    CISModule() = default;
    virtual ~CISModule() = default;
    CISModule(const CISModule&) = delete;
    CISModule& operator=(const CISModule&) = delete;

    // Dummy pixels added to the pixel count in line-time formulas.
    virtual uint8_t GetDummyPixels() const = 0;
    // 0 makes the models perform an extra controller step in their lamp and
    // feed sequences.
    virtual int GetControlFlag() const { return 1; }
    virtual int ReservedValue() const { return 0; }
    virtual uint16_t GetOpticalDpi() const = 0;
    // Pixels per line at the optical resolution.
    virtual uint16_t GetPixelCount() const = 0;
    int GetModeFactor() const { return GetOpticalDpi() == 300 ? 1 : 2; }
};

// One sensor described by its four numbers.
template <uint8_t Dummy, int Flag, uint16_t Dpi, uint16_t Pixels>
class CISModuleOf : public CISModule {
public:
    uint8_t GetDummyPixels() const override { return Dummy; }
    int GetControlFlag() const override { return Flag; }
    uint16_t GetOpticalDpi() const override { return Dpi; }
    uint16_t GetPixelCount() const override { return Pixels; }
};

class CM215_04 final : public CISModuleOf<82, 0, 600, 5184> {};
class CM215_04_300 final : public CISModuleOf<82, 0, 300, 2592> {};
class CM218_02 final : public CISModuleOf<82, 0, 600, 2592> {};
class CM612 final : public CISModuleOf<82, 1, 600, 2592> {};
class CM612_300 final : public CISModuleOf<82, 1, 300, 1296> {};
class CM635 final : public CISModuleOf<22, 1, 600, 2496> {};
class CM651 final : public CISModuleOf<22, 1, 600, 5184> {};
