// A batch: every INPUT written to DIR/NAME.wav by a pool of worker processes.
// The engine keeps process-wide state (the host, its static filters), so each
// file runs in a process of its own and the result cannot depend on the
// number of jobs.
#pragma once

#include "app/file/options.h"

namespace file_tool {

// Returns the exit status: 0 when every file was written, 1 when any
// failed, 2 for a usage error found before starting.
int runBatch(const Options& options);

}  // namespace file_tool
