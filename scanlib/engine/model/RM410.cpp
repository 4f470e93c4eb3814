#include "engine/model/RM410.h"

void RM410::GetDeviceIds(std::vector<DeviceId>& ids) {
    ids.push_back({0x17C4, 0x00F1, L"Tessaline Corp.", L"RM410"});
    ids.push_back({0x1F63, 0x4800, L"Tessaline Corp.", L"RM1100"});
}
