// tarnix-file: the engine run on audio files, through the offline
// platform's file-backed wave devices and the same message loop as the
// desktop program, so that the output is what the sound card would play.
// Also raw samples through standard input and output, and batches of files.
#include "app/cli/signals.h"
#include "app/file/batch.h"
#include "app/file/job.h"
#include "app/file/options.h"
#include "platform/system.h"

int main(int argc, char** argv) {
    using namespace file_tool;
    namespace sys = platform::sys;
    sys::prepareStandardStreams();
    int exitCode = 0;
    const auto options = parseOptions(argc, argv, exitCode);
    if (!options) return exitCode;
    if (!options->inputs.empty()) return runBatch(*options);

    // A live stream ends on the first signal after flushing what is complete.
    namespace signals = cli::signals;
    signals::install(options->input == kStandardStream ? signals::Mode::Stop : signals::Mode::Die);
    const JobResult r = runJob(*options);
    // The next program in the chain has quit: end quietly, as a pipe's writer does.
    if (r.readerGone) sys::dieOfClosedPipe();
    if (r.interrupted) signals::dieBy(r.interrupted);
    return r.status;
}
