#include "driver/signals.h"
// Placeholder until job control lands.
void OnTerminate(int) {}
void OnKeepAliveTimer(int) {}
void InstallTerminateHandler() {}
void StartKeepAliveTimer() {}
