// The scanner's device values, reached through the Still Image service:
// opened for the device with a given description, closed after each use.
#pragma once

#include <sti.h>

#include <string>

class STISettings {
public:
    STISettings() = default;
    virtual ~STISettings();
    STISettings(const STISettings&) = delete;
    STISettings& operator=(const STISettings&) = delete;

    // Selects the first device whose description is `deviceDescription`
    // (in any letter case); false when there is none or the service cannot
    // be reached.
    bool Open(const wchar_t* deviceDescription);
    void Close();

    // A REG_DWORD value, or a REG_SZ one read as a decimal number; false
    // (and `value` unchanged) for any other type, a missing value or no
    // selected device.
    bool GetValue(const wchar_t* name, int& value);
    // Writes `value` as a REG_DWORD.
    bool SetValue(const wchar_t* name, int value);

private:
    IStillImageW* m_pSti = nullptr;
    void* m_pDeviceList = nullptr;
    STI_DEVICE_INFORMATIONW* m_pDevice = nullptr;
};
