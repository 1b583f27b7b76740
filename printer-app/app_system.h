// The printer application's system: listeners, spool, log, state file and
// drivers, from the server's -o options.
#pragma once

#include <pappl/pappl.h>

// papplMainloop's system callback. Options it reads: server-port,
// listen-hostname, server-hostname, server-options (no-tls, ...),
// spool-directory, state-file, log-file, log-level, system-name,
// auth-service, admin-group, and manual-duplex-pause (seconds a manual
// duplex job waits for the turned stack). Returns null (after a message on standard
// error) when the system cannot start.
pappl_system_t* CreateSystem(int numOptions, cups_option_t* options, void* data);
