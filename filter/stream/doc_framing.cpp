#include "stream/doc_framing.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "stream/output_sink.h"
#include "stream/packets.h"
#include "stream/page_framing.h"

namespace {

constexpr char UEL_CMD[] = "\x1b%-12345X";
constexpr char kPjlHeader[] = "\x1b%-12345X@PJL\r\n";
constexpr char kPjlLanguageVersion[] = "@PJL LANGUAGEVERSION=1.0\r\n";
constexpr char kPjlJobTimeLabel[] = "@PJL JOBTIME=";
constexpr char kPjlJobOwnerLabel[] = "@PJL JOBOWNER=";
constexpr char kPjlLineEnd[] = "\r\n";
constexpr char kPjlEnterLanguage[] = "@PJL ENTER LANGUAGE=PL\r\n";
constexpr char kEndOfJob[] = "\x1b%-12345X@PJL\r\n@PJL EOJ\r\n\x1b%-12345X\r\n";
constexpr char kFirmwareVersion[] = "versions=3.1.2.1";
constexpr char kDocSignature[] = "JZJZ";

// Models R01 and R02 want their toner tables at the start of every job; R01
// also wants the PJL language version. The names must match exactly.
constexpr char kModelR01[] = "Norvane R01 Series";
constexpr char kModelR02[] = "Norvane R02 Series";

int SystemHostName(char* name, std::size_t size) { return gethostname(name, size); }

// Local time of the document start, for the job time and cmdSysTime.
std::tm DocLocalTime(const DocStartInfo& info)
{
    std::time_t now = info.clock != nullptr ? info.clock(nullptr) : std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

// Document pieces are never spooled: they frame the job, not a page.
int SendPiece(StreamSink& sink, const void* data, std::size_t length, const char* failText)
{
    if (SendDataToFile(sink, data, static_cast<int>(length), 0))
        return 1;
    PrependErrMsg(sink, failText);
    return 0;
}

int SendText(StreamSink& sink, const char* text, const char* failText)
{
    return SendPiece(sink, text, std::strlen(text), failText);
}

// The job packets of platforms 1 and 2 each stand behind two zero bytes.
int SendPacketAfter00(StreamSink& sink, const uint8_t* packet, std::size_t length, const char* failText)
{
    Insert00(sink);
    return SendPiece(sink, packet, length, failText);
}

int SendDensityAfter00(StreamSink& sink, const DocStartInfo& info)
{
    uint8_t density[kCmdDensityLen];
    BuildCmdDensity(density, info.density);
    return SendPacketAfter00(sink, density, sizeof density, "Prnt_StartDoc() :: send cmdDensity Fail 0 ==  \n");
}

int StartDocP3(StreamSink& sink)
{
    if (!SendText(sink, UEL_CMD, "Prnt_StartDoc() :: send UEL_CMD Fail 0 ==  \n"))
        return 0;
    if (!SendText(sink, kDocSignature, "Prnt_StartDoc() :: send pjlJZJZ_R90 Fail 0 ==  \n"))
        return 0;
    uint8_t toner[kTonerParamBlockLen];
    BuildTonerParamBlock(toner);
    if (!SendPiece(sink, toner, sizeof toner, "Prnt_StartDoc() :: send TONER_PARAM Fail 0 ==  \n"))
        return 0;
    uint8_t header[kBlockHeaderLen];
    BuildBlockHeader(header, 52, kBlockDocStart, 3, 3 * kParamRecordLen);
    if (!SendPiece(sink, header, sizeof header, "Prnt_StartDoc() :: send START_DOC_CMD Fail 0 ==  \n"))
        return 0;
    // The printer takes no page total up front: TOTAL_PAGE_PARAM stays 0.
    static const struct { uint16_t id; uint32_t value; } params[] = {{0, 0}, {1, 0}, {2, 1}};
    for (const auto& p : params) {
        uint8_t record[kParamRecordLen];
        BuildParamRecord(record, p.id, p.value);
        if (!SendPiece(sink, record, sizeof record,
                       "Prnt_StartDoc() :: send TOTAL_PAGE_PARAM Fail 0 ==  \n"))
            return 0;
    }
    return 1;
}

int StartDocP2(StreamSink& sink, const DocStartInfo& info)
{
    if (!SendText(sink, kPjlHeader, "Prnt_StartDoc() :: send PJLheader Fail 0 ==  \n"))
        return 0;
    const char* model = info.modelName != nullptr ? info.modelName : "";
    const bool r01 = std::strcmp(model, kModelR01) == 0;
    const bool r02 = std::strcmp(model, kModelR02) == 0;
    if (r01 && !SendText(sink, kPjlLanguageVersion, "Prnt_StartDoc() :: send pjlVersion Fail 0 ==  \n"))
        return 0;

    char jobTime[kJobTimeBufSize];
    FormatJobTime(DocLocalTime(info), jobTime, sizeof jobTime);
    const char* timeFail = "Prnt_StartDoc() :: send pjlSendTime Fail 0 ==  \n";
    if (!SendText(sink, kPjlJobTimeLabel, timeFail) || !SendText(sink, jobTime, timeFail))
        return 0;

    char host[kHostNameSize + 1];
    ReadHostName(host, info.hostName);
    // An empty name makes a zero-length send, which fails like any other.
    const char* hostFail = "Prnt_StartDoc() :: send pjlHostName Fail 0 ==  \n";
    if (!SendText(sink, kPjlJobOwnerLabel, hostFail) || !SendText(sink, host, hostFail) ||
        !SendText(sink, kPjlLineEnd, hostFail))
        return 0;

    if (!SendText(sink, kPjlEnterLanguage, "Prnt_StartDoc() :: send pjlPosCmd Fail 0 ==  \n"))
        return 0;

    uint8_t jobSpec[kCmdJobSpecLenP2];
    BuildCmdJobSpecP2(jobSpec, info);
    if (!SendPacketAfter00(sink, jobSpec, sizeof jobSpec, "Prnt_StartDoc() :: send cmdJobSpec Fail 0 ==  \n") ||
        !SendDensityAfter00(sink, info))
        return 0;
    Insert00(sink);

    const char* tonerFail = "Prnt_StartDoc() :: send cmdTonerParamR01 Fail 0 ==  \n";
    if (r01)
        return SendPiece(sink, cmdTonerParamR01ForR01, sizeof cmdTonerParamR01ForR01, tonerFail);
    if (r02)
        return SendPiece(sink, cmdTonerParamR01ForR02, sizeof cmdTonerParamR01ForR02, tonerFail);
    return 1;
}

int StartDocP1(StreamSink& sink, const DocStartInfo& info)
{
    if (!SendPiece(sink, UEL_CMD_C, sizeof UEL_CMD_C, "Prnt_StartDoc() :: send UEL_CMD_C Fail 0 ==  \n"))
        return 0;
    if (!SendPiece(sink, abortCmd, sizeof abortCmd, "Prnt_StartDoc() :: send abortCmd Fail 0 ==  \n"))
        return 0;
    // Closes whatever job an earlier, interrupted host may have left open.
    if (!SendText(sink, kEndOfJob, "Prnt_StartDoc() :: send endOfJobCmd Fail 0 ==  \n"))
        return 0;
    if (!SendText(sink, kFirmwareVersion, "Prnt_StartDoc() :: send fw Version Fail 0 ==  \n"))
        return 0;
    Insert00(sink);
    if (!SendText(sink, kPjlHeader, "Prnt_StartDoc() :: send PJLheader Fail 0 ==  \n"))
        return 0;
    if (!SendText(sink, kPjlEnterLanguage, "Prnt_StartDoc() :: send pjlCmd Fail 0 ==  \n"))
        return 0;

    uint8_t jobSpec[kCmdJobSpecLenP1];
    BuildCmdJobSpecP1(jobSpec, info);
    uint8_t tonerSave[kCmdTonerSaveLen];
    BuildCmdTonerSave(tonerSave, info.tonerSave);
    if (!SendPacketAfter00(sink, jobSpec, sizeof jobSpec, "Prnt_StartDoc() :: send cmdJobSpec Fail 0 ==  \n") ||
        !SendPacketAfter00(sink, tonerSave, sizeof tonerSave, "Prnt_StartDoc() :: send cmdTonerSave Fail 0 ==  \n") ||
        !SendDensityAfter00(sink, info))
        return 0;
    uint8_t sysTime[kCmdSysTimeLen];
    BuildCmdSysTimeAt(sysTime, DocLocalTime(info));
    return SendPiece(sink, sysTime, sizeof sysTime, "Prnt_StartDoc() :: send cmdSysTime Fail 0 ==  \n");
}

// Platforms 1 and 2 both close with a reset and the PJL end of job.
int EndDocP2(StreamSink& sink)
{
    if (!SendPiece(sink, resetCmd, sizeof resetCmd, "Prnt_EndDoc() :: send resetCmd Fail 0 ==  \n"))
        return 0;
    Insert00(sink);
    return SendText(sink, kEndOfJob, "Prnt_EndDoc() :: send endOfJobCmd Fail 0 ==  \n");
}

int EndDocP1(StreamSink& sink, const DocEndInfo& info)
{
    // The last sheet of an odd-length duplex job still has to be turned out.
    if (info.duplex == 1 && !SendMachineDuplexCmd(sink, info.pageCount, 1)) {
        PrependErrMsg(sink, "Prnt_EndDoc() :: MachineDuplexCmd Fail .\n");
        return 0;
    }
    Insert00(sink);
    if (!SendPiece(sink, queryStatusCmd, sizeof queryStatusCmd,
                   "Prnt_EndDoc() :: send queryStatusCmd Fail 0 ==  \n"))
        return 0;
    Insert00(sink);
    return EndDocP2(sink);
}

int EndDocP3(StreamSink& sink)
{
    uint8_t header[kBlockHeaderLen];
    BuildBlockHeader(header, kBlockHeaderLen, kBlockDocEnd, 0, 0);
    if (!SendPiece(sink, header, sizeof header, "Prnt_EndDoc() :: send END_DOC_CMD Fail 0 ==  \n"))
        return 0;
    return SendText(sink, UEL_CMD, "Prnt_EndDoc() :: send UEL_CMD_C Fail 0 ==  \n");
}

}  // namespace

int FormatJobTime(const std::tm& t, char* out, std::size_t size)
{
    int n = std::snprintf(out, size, "%02d:%02d:%02d:%02d:%04d\r\n", t.tm_min, t.tm_hour, t.tm_mday,
                          t.tm_mon + 1, t.tm_year + 1900);
    if (n < 0)
        n = 0;
    if (size > 0 && static_cast<std::size_t>(n) >= size)
        n = static_cast<int>(size - 1);
    return n;
}

void ReadHostName(char* out, int (*hostName)(char* name, std::size_t size))
{
    if (hostName == nullptr)
        hostName = SystemHostName;
    std::memset(out, 0, kHostNameSize + 1);
    // A longer name comes back cut to the buffer, reported as ENAMETOOLONG;
    // the cut name is what the printer shows.
    if (hostName(out, kHostNameSize) != 0 && errno != ENAMETOOLONG)
        out[0] = '\0';
    out[kHostNameSize] = '\0';
}

int Prnt_StartDoc(StreamSink& sink, const DocStartInfo& info, int platform)
{
    switch (platform) {
    case 1:
        return StartDocP1(sink, info);
    case 2:
        return StartDocP2(sink, info);
    case 3:
        return StartDocP3(sink);
    default:
        return 0;
    }
}

int Prnt_EndDoc(StreamSink& sink, const DocEndInfo& info, int platform)
{
    switch (platform) {
    case 1:
        return EndDocP1(sink, info);
    case 2:
        return EndDocP2(sink);
    case 3:
        return EndDocP3(sink);
    default:
        return 0;
    }
}
