// The stream sink that the stage tests hand to the stages, bound to standard
// output as the filter binds it, so that StdoutCapture and the write faults
// see its bytes.
#pragma once

#include <unistd.h>

#include "stream/output_sink.h"

inline StreamSink& TestSink()
{
    static StreamSink sink = [] {
        StreamSink s;
        OpenStreamSink(s, FdOutputPort(STDOUT_FILENO));
        return s;
    }();
    return sink;
}

// A fresh sink: nothing routed to a spool, no failure texts.
inline void ResetTestSink() { OpenStreamSink(TestSink(), FdOutputPort(STDOUT_FILENO)); }
