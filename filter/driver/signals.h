// Cancellation (SIGTERM) and the keep-alive filler (SIGALRM) of platforms 1
// and 2. The handlers only set a flag or write two bytes; the page flow does
// the rest. These flags are the only state the whole process shares: a
// signal handler cannot be handed a job.
#pragma once

#include <csignal>

// Set by the SIGTERM handler; polled by the page flow and the replays.
extern volatile std::sig_atomic_t cancelRequested;
// Descriptor the keep-alive handler writes its filler to, -1 for none. Set
// from the job's output port when the timer starts (OutputPort::fillerFd):
// a plain int the handler can read at any moment, where the port itself
// (a function and its context) could be caught half-changed.
extern volatile std::sig_atomic_t keepAliveFd;

void OnTerminate(int signalNumber);
void OnKeepAliveTimer(int signalNumber);

// At start-up: SIGTERM sets cancelRequested and interrupts a blocked read or
// write; SIGALRM is caught, but writes filler only once the timer runs;
// SIGPIPE and SIGXFSZ are ignored so that a vanished back end or a spool
// over the file-size limit shows up as failed writes and the job still
// cleans up.
void InstallTerminateHandler();
// On the first page of platforms 1 and 2: the 10-second keep-alive timer,
// writing to fillerFd.
void StartKeepAliveTimer(int fillerFd);
