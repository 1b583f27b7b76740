#include "device_ids.h"

#include <strings.h>

#include <cstring>

#include "engine.h"

namespace {

struct ModelDeviceId {
    const char* modelName;
    const char* deviceId;
};

const ModelDeviceId modelDeviceIds[] = {
#include "model_device_ids.inc"
};

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string DeviceIdValue(const char* deviceId, const char* key, const char* longKey)
{
    if (deviceId == nullptr)
        return "";
    const std::string id = deviceId;
    size_t start = 0;
    while (start < id.size()) {
        size_t end = id.find(';', start);
        if (end == std::string::npos)
            end = id.size();
        const std::string pair = id.substr(start, end - start);
        const size_t colon = pair.find(':');
        if (colon != std::string::npos) {
            const std::string name = Trim(pair.substr(0, colon));
            if (strcasecmp(name.c_str(), key) == 0 || strcasecmp(name.c_str(), longKey) == 0)
                return Trim(pair.substr(colon + 1));
        }
        start = end + 1;
    }
    return "";
}

const char* DeviceIdForModel(const char* modelName)
{
    for (const ModelDeviceId& m : modelDeviceIds)
        if (std::strcmp(m.modelName, modelName) == 0)
            return m.deviceId;
    return nullptr;
}

int ModelForDeviceId(const char* deviceId)
{
    const std::string make = DeviceIdValue(deviceId, "MFG", "MANUFACTURER");
    const std::string model = DeviceIdValue(deviceId, "MDL", "MODEL");
    if (make.empty() || model.empty())
        return -1;
    for (const ModelDeviceId& m : modelDeviceIds) {
        if (strcasecmp(DeviceIdValue(m.deviceId, "MFG", "MANUFACTURER").c_str(), make.c_str()) != 0 ||
            strcasecmp(DeviceIdValue(m.deviceId, "MDL", "MODEL").c_str(), model.c_str()) != 0)
            continue;
        for (int i = 0; i < kModelCount; ++i)
            if (std::strcmp(GetModel(i).name, m.modelName) == 0)
                return i;
    }
    return -1;
}
