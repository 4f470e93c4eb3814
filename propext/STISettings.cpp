#include "STISettings.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwctype>

namespace {

constexpr DWORD kValueBufferSize = 260;

bool SameText(const wchar_t* a, const wchar_t* b) {
    if (a == nullptr || b == nullptr) return false;
    for (; *a != L'\0' && *b != L'\0'; ++a, ++b) {
        if (std::towlower(static_cast<wint_t>(*a)) != std::towlower(static_cast<wint_t>(*b))) return false;
    }
    return *a == *b;
}

}  // namespace

STISettings::~STISettings() { Close(); }

bool STISettings::Open(const wchar_t* deviceDescription) {
    Close();
    if (FAILED(StiCreateInstanceW(GetModuleHandleA(nullptr), STI_VERSION, &m_pSti, nullptr)) || m_pSti == nullptr) {
        m_pSti = nullptr;
        return false;
    }
    DWORD count = 0;
    if (SUCCEEDED(m_pSti->GetDeviceList(StiDeviceTypeDefault, 0, &count, &m_pDeviceList)) && m_pDeviceList) {
        auto* devices = static_cast<STI_DEVICE_INFORMATIONW*>(m_pDeviceList);
        for (DWORD i = 0; i < count; ++i) {
            if (SameText(devices[i].pszDeviceDescription, deviceDescription)) {
                m_pDevice = &devices[i];
                return true;
            }
        }
    }
    Close();
    return false;
}

void STISettings::Close() {
    m_pDevice = nullptr;
    if (m_pDeviceList != nullptr) LocalFree(m_pDeviceList);
    m_pDeviceList = nullptr;
    if (m_pSti != nullptr) m_pSti->Release();
    m_pSti = nullptr;
}

bool STISettings::GetValue(const wchar_t* name, int& value) {
    if (m_pSti == nullptr || m_pDevice == nullptr) return false;
    // One byte more than the service may fill, so a text always ends.
    BYTE buffer[kValueBufferSize + 1] = {};
    DWORD size = kValueBufferSize;
    DWORD type = 0;
    if (FAILED(m_pSti->GetDeviceValue(m_pDevice->szDeviceInternalName, const_cast<LPWSTR>(name), &type, buffer,
                                      &size)))
        return false;
    if (type == REG_SZ) {
        value = std::atoi(reinterpret_cast<const char*>(buffer));
        return true;
    }
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, buffer, sizeof number);
        value = static_cast<int>(number);
        return true;
    }
    // Another type is no value of ours.
    return false;
}

bool STISettings::SetValue(const wchar_t* name, int value) {
    if (m_pSti == nullptr || m_pDevice == nullptr) return false;
    DWORD number = static_cast<DWORD>(value);
    return m_pSti->SetDeviceValue(m_pDevice->szDeviceInternalName, const_cast<LPWSTR>(name), REG_DWORD,
                                  reinterpret_cast<LPBYTE>(&number), sizeof number) == S_OK;
}
