// Opening and closing of every page in the stream, the manual-duplex pause
// and the machine-duplex step of platform 1.
#pragma once

#include "stream/records.h"

int Prnt_StartPage(const PageSetup& setup, int platform);
// Writes setup.coverage on platform 1.
int Prnt_EndPage(PageEndInfo& info, int platform);
// Tells the printer the first pass of a manual-duplex job is complete.
// Never spooled.
int SendManualDuplexCmd(int platform);
// Platform 1: after a page whose parity matches oddPages (odd when not 0),
// sends 00 00 and machineDuplexCmd. 1 when not due or sent.
int SendMachineDuplexCmd(int pageNumber, int oddPages);
