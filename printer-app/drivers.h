// The application's printer drivers: one per model, named norvane_rNN.
#pragma once

#include <pappl/pappl.h>

constexpr int kDriverCount = 35;

// The driver table for papplMainloop / papplSystemSetPrinterDrivers.
pappl_pr_driver_t* PrinterDrivers();

// The model index of a driver name, or -1.
int ModelForDriverName(const char* driverName);

// papplSystemSetPrinterDrivers callbacks.
bool DriverCallback(pappl_system_t* system, const char* driverName, const char* deviceUri,
                    const char* deviceId, pappl_pr_driver_data_t* data, ipp_t** attrs,
                    void* cbData);
const char* AutoAddCallback(const char* deviceInfo, const char* deviceUri, const char* deviceId,
                            void* cbData);

// Labels of the vendor options, their values and the sizes without a
// standard name, for the web pages.
const char* EnglishStrings();
