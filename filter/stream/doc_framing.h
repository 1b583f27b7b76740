// Everything before the first page and after the last one: the PJL job and
// job packets of platforms 1 and 2, the "JZJZ" document blocks of platform 3.
#pragma once

#include <cstddef>
#include <ctime>

#include "stream/output_sink.h"
#include "stream/records.h"

// 1 when the whole document start was written; 0 on the first failed piece
// (its text put in front of errMsg) or for a platform other than 1-3.
int Prnt_StartDoc(StreamSink& sink, const DocStartInfo& info, int platform);
int Prnt_EndDoc(StreamSink& sink, const DocEndInfo& info, int platform);

// The PJL job time, "mm:HH:DD:MM:YYYY\r\n" (minutes before hours), into out
// of size bytes, terminated. Returns the length of the text.
constexpr std::size_t kJobTimeBufSize = 64;
int FormatJobTime(const std::tm& local, char* out, std::size_t size);

// The job owner the printer shows is this host's name: at most
// kHostNameSize characters, always terminated (out holds kHostNameSize + 1
// bytes); empty when the system reports no name. hostName: where the name
// comes from (gethostname when null).
constexpr std::size_t kHostNameSize = 32;
void ReadHostName(char* out, int (*hostName)(char* name, std::size_t size));
