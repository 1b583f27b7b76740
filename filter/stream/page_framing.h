// Opening and closing of every page in the stream, the manual-duplex pause
// and the machine-duplex step of platform 1.
#pragma once

#include "stream/records.h"

// 1 when every piece was written; 0 on the first failed piece (its text put
// in front of errMsgBuf) or for a platform other than 1-3.
int Prnt_StartPage(const PageSetup& setup, int platform);
// Writes info.coverage on platform 1.
int Prnt_EndPage(PageEndInfo& info, int platform);
// Tells the printer the first pass of a manual-duplex job is complete.
// Never spooled.
int SendManualDuplexCmd(int platform);
// Platform 1: after a page whose parity matches oddPages (odd when not 0),
// sends 00 00 and machineDuplexCmd. 1 when not due or sent.
int SendMachineDuplexCmd(int pageNumber, int oddPages);
