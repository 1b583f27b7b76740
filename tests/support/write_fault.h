// Makes writes fail on purpose, to drive the failure paths of the stream
// stages. Works on regular files (such as the one StdoutCapture writes to)
// through the file-size limit: a write that starts at or beyond the given
// byte offset of any regular file fails with EFBIG. With once set, the
// first such failure lifts the limit again, so the writes after it succeed
// and a routine that does not stop at its first failure shows it.
#pragma once

#include <sys/types.h>

class WriteFaultAt {
public:
    explicit WriteFaultAt(off_t offset, bool once = true);
    ~WriteFaultAt();
    WriteFaultAt(const WriteFaultAt&) = delete;
    WriteFaultAt& operator=(const WriteFaultAt&) = delete;

    // Whether a write has hit the offset.
    bool Fired() const;
};
