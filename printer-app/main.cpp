// norvane-printer-app: the Norvane printers as IPP Everywhere printers.
//
//   norvane-printer-app server [-o name=value ...]
//   norvane-printer-app add -d NAME -m norvane_rNN -v DEVICE-URI
//   norvane-printer-app drivers | devices | printers | submit | status ...
#include <pappl/pappl.h>

#include "app_system.h"
#include "drivers.h"

#ifndef NORVANE_VERSION
#define NORVANE_VERSION "0"
#endif

int main(int argc, char* argv[])
{
    return papplMainloop(argc, argv, NORVANE_VERSION, nullptr, kDriverCount, PrinterDrivers(),
                         AutoAddCallback, DriverCallback, nullptr, nullptr, CreateSystem,
                         nullptr, nullptr);
}
