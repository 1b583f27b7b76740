// Opening and closing of every page in the stream, the manual-duplex pause
// and the machine-duplex step of platform 1.
#pragma once

#include "stream/output_sink.h"
#include "stream/records.h"

// 1 when every piece was written; 0 on the first failed piece (its text put
// in front of errMsg) or for a platform other than 1-3.
int Prnt_StartPage(StreamSink& sink, const PageSetup& setup, int platform);
// Writes info.coverage on platform 1, from info.dotCount.
int Prnt_EndPage(StreamSink& sink, PageEndInfo& info, int platform);
// Tells the printer the first pass of a manual-duplex job is complete.
// Never spooled.
int SendManualDuplexCmd(StreamSink& sink, int platform);
// Platform 1: after a page whose parity matches oddPages (odd when not 0),
// sends 00 00 and machineDuplexCmd. 1 when not due or sent.
int SendMachineDuplexCmd(StreamSink& sink, int pageNumber, int oddPages);
