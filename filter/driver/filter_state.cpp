#include "driver/filter_state.h"

#include <cstdio>
#include <cstring>

int curPageNum = 0;
volatile std::sig_atomic_t cancelRequested = 0;
volatile std::sig_atomic_t outputBusy = 1;
int sendToStdout = 1;
int copySpoolFd = 0;
int oddSpoolFd = 0;
int evenSpoolFd = 0;
int printerWriteError = 0;
int spoolWriteError = 0;
std::vector<long> evenPageLen(1024, 0);
char modelName[kModelNameSize];
char errMsgBuf[kErrMsgBufSize];

void PrependErrMsg(const char* text)
{
    if (text == nullptr)
        return;
    std::size_t newLen = std::strlen(text);
    if (newLen >= kErrMsgBufSize)
        newLen = kErrMsgBufSize - 1;
    std::size_t oldLen = std::strlen(errMsgBuf);
    std::size_t keepOld = kErrMsgBufSize - 1 - newLen;
    if (oldLen > keepOld)
        oldLen = keepOld;
    std::memmove(errMsgBuf + newLen, errMsgBuf, oldLen);
    std::memcpy(errMsgBuf, text, newLen);
    errMsgBuf[newLen + oldLen] = '\0';
}

void SetErrMsg(const char* text)
{
    std::snprintf(errMsgBuf, sizeof errMsgBuf, "%s", text ? text : "");
}

void PrintErrMsg()
{
    std::printf("%s", errMsgBuf);
}

void ResetFilterState()
{
    curPageNum = 0;
    cancelRequested = 0;
    outputBusy = 1;
    sendToStdout = 1;
    copySpoolFd = oddSpoolFd = evenSpoolFd = 0;
    printerWriteError = spoolWriteError = 0;
    evenPageLen.assign(1024, 0);
    modelName[0] = '\0';
    errMsgBuf[0] = '\0';
}
