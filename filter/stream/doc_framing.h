// Everything before the first page and after the last one: the PJL job and
// job packets of platforms 1 and 2, the "JZJZ" document blocks of platform 3.
#pragma once

#include "stream/records.h"

// 1 when the whole document start was written; 0 on the first failed piece
// (its text put in front of errMsgBuf) or for a platform other than 1-3.
int Prnt_StartDoc(const DocStartInfo& info, int platform);
int Prnt_EndDoc(const DocEndInfo& info, int platform);
