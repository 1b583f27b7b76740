// Cancellation (SIGTERM) and the keep-alive filler (SIGALRM) of platforms 1
// and 2. The handlers only set a flag or write two bytes; the page loop does
// the rest.
#pragma once

void OnTerminate(int signalNumber);
void OnKeepAliveTimer(int signalNumber);

// At start-up: SIGTERM sets cancelRequested and interrupts a blocked read or
// write; SIGALRM is caught, but writes filler only once the timer runs;
// SIGPIPE and SIGXFSZ are ignored so that a vanished back end or a spool
// over the file-size limit shows up as failed writes and the job still
// cleans up.
void InstallTerminateHandler();
// On the first page of platforms 1 and 2: the 10-second keep-alive timer.
void StartKeepAliveTimer();
