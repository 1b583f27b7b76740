#include "app_system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drivers.h"
#include "printing.h"

namespace {

constexpr const char* kAppName = "norvane-printer-app";
std::string stateFile;
bool driverRefused = false;

pappl_loglevel_t LogLevel(const char* text)
{
    if (text == nullptr)
        return PAPPL_LOGLEVEL_WARN;
    if (!std::strcmp(text, "debug"))
        return PAPPL_LOGLEVEL_DEBUG;
    if (!std::strcmp(text, "info"))
        return PAPPL_LOGLEVEL_INFO;
    if (!std::strcmp(text, "error"))
        return PAPPL_LOGLEVEL_ERROR;
    if (!std::strcmp(text, "fatal"))
        return PAPPL_LOGLEVEL_FATAL;
    return PAPPL_LOGLEVEL_WARN;
}

bool HasWord(const char* list, const char* word)
{
    const size_t n = std::strlen(word);
    for (const char* p = list; p != nullptr && *p; p = std::strchr(p, ',')) {
        if (*p == ',')
            ++p;
        if (!std::strncmp(p, word, n) && (p[n] == '\0' || p[n] == ','))
            return true;
    }
    return false;
}

pappl_soptions_t SystemOptions(const char* list)
{
    pappl_soptions_t options = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE |
                               PAPPL_SOPTIONS_WEB_LOG | PAPPL_SOPTIONS_WEB_SECURITY;
    if (HasWord(list, "no-tls"))
        options |= PAPPL_SOPTIONS_NO_TLS;
    else
        options |= PAPPL_SOPTIONS_WEB_TLS;
    if (HasWord(list, "web-remote"))
        options |= PAPPL_SOPTIONS_WEB_REMOTE;
    if (HasWord(list, "raw-socket"))
        options |= PAPPL_SOPTIONS_RAW_SOCKET;
    if (HasWord(list, "dnssd-host"))
        options |= PAPPL_SOPTIONS_DNSSD_HOST;
    return options;
}

// Where the printers and their defaults are kept between runs: the
// state-file option, else /var/lib for the system service, else the user's
// configuration folder.
std::string DefaultStateFile()
{
    if (getuid() == 0)
        return std::string("/var/lib/") + kAppName + "/" + kAppName + ".state";
    const char* home = std::getenv("HOME");
    if (home == nullptr || !*home)
        return std::string("/tmp/") + kAppName + std::to_string(getuid()) + ".state";
    const std::string config = std::string(home) + "/.config";
    mkdir(config.c_str(), 0700);
    return config + "/" + kAppName + ".state";
}

bool SaveState(pappl_system_t* system, void*)
{
    return papplSystemSaveState(system, stateFile.c_str());
}

// While a job is active PAPPL keeps its attributes in the spool beside the
// document, and removes them only at its next state save, which can come
// half a minute after the job ended. A finished or cancelled job leaves
// nothing behind at once. PAPPL calls this with the job locked: nothing
// here may ask for the job's lock.
void RemoveFinishedJobAttributes(pappl_system_t*, pappl_printer_t*, pappl_job_t* job,
                                 pappl_event_t event, void*)
{
    if (job == nullptr || event != PAPPL_EVENT_JOB_COMPLETED)
        return;
    char name[1024];
    papplJobOpenFile(job, name, sizeof name, nullptr, "ipp", "x");
}

// PAPPL creates a printer even when it refused the driver's data, and such
// a printer fails its first job badly: it must not take one.
void CheckNewPrinter(pappl_printer_t* printer, void*)
{
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    if (data.rstartjob_cb != nullptr && data.make_and_model[0] != '\0')
        return;
    driverRefused = true;
    papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR,
                    "The printer's capabilities for driver '%s' were refused; it takes no jobs.",
                    papplPrinterGetDriverName(printer));
    papplPrinterDisable(printer);
    papplPrinterPause(printer);
}

bool ValidPort(const char* text, int* port)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (!std::isdigit(static_cast<unsigned char>(*text)) || *end || errno || value < 0 ||
        value > 65535)
        return false;
    *port = static_cast<int>(value);
    return true;
}

}  // namespace

pappl_system_t* CreateSystem(int numOptions, cups_option_t* options, void* data)
{
    auto option = [&](const char* name) { return cupsGetOption(name, numOptions, options); };

    int port = 0;
    if (const char* text = option("server-port"); text != nullptr && !ValidPort(text, &port)) {
        std::fprintf(stderr, "%s: Bad server-port value '%s'.\n", kAppName, text);
        return nullptr;
    }
    const char* spoolDir = option("spool-directory");
    if (spoolDir == nullptr && getuid() == 0)
        spoolDir = "/var/spool/norvane-printer-app";
    if (spoolDir != nullptr && mkdir(spoolDir, 0700) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "%s: Unable to create the spool folder '%s': %s\n", kAppName,
                     spoolDir, std::strerror(errno));
        return nullptr;
    }
    const char* state = option("state-file");
    stateFile = state != nullptr ? state : DefaultStateFile();
    const char* logFile = option("log-file");
    if (const char* pause = option("manual-duplex-pause"))
        manualDuplexPauseSeconds = static_cast<unsigned>(std::strtoul(pause, nullptr, 10));

    pappl_system_t* system = papplSystemCreate(
        SystemOptions(option("server-options")),
        option("system-name") ? option("system-name") : "Norvane Printer Application", port,
        "_print,_universal", spoolDir, logFile ? logFile : "-", LogLevel(option("log-level")),
        option("auth-service"), false);
    if (system == nullptr) {
        std::fprintf(stderr, "%s: Unable to create the printing system.\n", kAppName);
        return nullptr;
    }
    if (!papplSystemAddListeners(system, option("listen-hostname"))) {
        std::fprintf(stderr, "%s: Unable to listen on %s port %d.\n", kAppName,
                     option("listen-hostname") ? option("listen-hostname") : "all addresses",
                     port);
        papplSystemDelete(system);
        return nullptr;
    }
    if (const char* host = option("server-hostname"))
        papplSystemSetHostName(system, host);
    if (const char* group = option("admin-group"))
        papplSystemSetAdminGroup(system, group);

    papplSystemSetPrinterDrivers(system, kDriverCount, PrinterDrivers(), AutoAddCallback,
                                 CheckNewPrinter, DriverCallback, data);
    papplSystemAddStringsData(system, "/en.strings", "en", EnglishStrings());
    papplSystemSetFooterHTML(system, "Norvane printer driver");
    papplSystemSetSaveCallback(system, SaveState, nullptr);
    papplSystemSetEventCallback(system, RemoveFinishedJobAttributes, nullptr);

    driverRefused = false;
    papplSystemLoadState(system, stateFile.c_str());
    if (driverRefused) {
        std::fprintf(stderr,
                     "%s: A printer's capabilities were refused by the printing system; not "
                     "starting. See the log for the printer.\n",
                     kAppName);
        papplSystemDelete(system);
        return nullptr;
    }
    return system;
}
