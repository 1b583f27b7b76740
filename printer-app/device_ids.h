// Recognising a printer by its IEEE 1284 device ID. The IDs come from the
// same table as the PPDs' *1284DeviceID: the build reads ppd/norvane.drv.
#pragma once

#include <string>

// The device ID of the model of this name, or null.
const char* DeviceIdForModel(const char* modelName);

// The model (index into the engine's model table) whose ID names the same
// manufacturer and model as deviceId, or -1. Keys are MFG or MANUFACTURER
// and MDL or MODEL, in any order, with or without spaces around values.
int ModelForDeviceId(const char* deviceId);

// One key's value of a device ID ("" when absent).
std::string DeviceIdValue(const char* deviceId, const char* key, const char* longKey);
