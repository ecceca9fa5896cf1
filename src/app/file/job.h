// One INPUT through the engine to one OUTPUT: a file, a pipe or a mix.
#pragma once

#include <cstdint>

#include "app/file/options.h"

namespace file_tool {

struct JobResult {
    int status = 1;      // 0 done, 1 a file problem (already reported)
    int64_t frames = 0;  // audio frames read from INPUT
    int rate = 0;
    int interrupted = 0;      // the signal that ended the input early, or 0
    bool readerGone = false;  // OUTPUT is a pipe whose reader went away
};

JobResult runJob(const Options& options);

}  // namespace file_tool
