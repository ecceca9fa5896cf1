// The few operating-system calls the command-line programs need beyond the
// audio seams (standard streams, files written safely, signals, worker
// processes), for POSIX (platform/posix) and Windows (platform/win32); the
// programs themselves are the same on both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace platform::sys {

inline constexpr int kStandardInput = 0;
inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

// Raw samples must pass the standard streams unchanged: no text mode.
void prepareStandardStreams();
bool isTerminal(int fd);

// Waits up to `milliseconds` for `fd` to have input or its end: 1 ready,
// 0 not yet, -1 an error (errno set; EINTR when a signal came).
int waitForInput(int fd, int milliseconds);
// Waits up to `milliseconds` until `fd` (set not to block) takes output:
// 1 ready, 0 not yet, -1 an error (errno set).
int waitForOutput(int fd, int milliseconds);
// The bytes `fd` holds that a read takes without waiting (0 when unknown).
int64_t bytesWaiting(int fd);

enum class Kind {
    Missing,
    Directory,
    Regular,
    Device,   // written in place
    Fifo,     // written in place, raw samples only
    Refused,  // a block device or socket
    Null,     // the null device, when it cannot seek (Windows' NUL)
};
// What `path` names (links followed); false with errno set when that
// cannot be told.
bool kindOf(const std::string& path, Kind& kind);
bool isSymbolicLink(const std::string& path);
// Opens a device or FIFO for writing in place; -1 with errno set.
int openInPlace(const std::string& path);
// The longest file name `dir` allows.
size_t nameLimit(const std::string& dir);
// Creates a new file from `pattern`, whose last six characters are replaced
// to make the name unique, with the mode a new file gets; -1 with errno set.
int createTemporary(std::string& pattern);
// Puts `from` in the place of `to`, replacing it with the old file's owner
// and mode; a file with several hard links is rewritten in place instead.
// False with errno set.
bool replaceFile(const std::string& from, const std::string& to);

// Room for one large object that is cleared when it is made, such as the
// engine (about a megabyte): on Linux in a huge page where the kernel gives
// one, so that clearing it takes one page fault instead of some 260, which
// is a good part of a short file's run. Throws std::bad_alloc when there is
// no room; releaseLargeBlock takes the same size back.
void* largeBlock(size_t bytes);
void releaseLargeBlock(void* block, size_t bytes);

// Calls `handler` on the signals that end a program; a closed pipe and the
// file-size limit show up as write errors instead of signals.
void onEndingSignals(void (*handler)(int));
// Ends the program the way the signal's default action would.
[[noreturn]] void dieBy(int signal);
// Ends the program the way writing to a pipe without a reader would.
[[noreturn]] void dieOfClosedPipe();

// Each file of a batch runs in a worker process of its own.
struct WorkerReport {
    int status = 1;
    int64_t frames = 0;
    int rate = 0;
};
struct WorkerEnd {
    long id = -1;
    int exitStatus = -1;  // -1 when a signal ended it
    int signal = 0;
    bool reported = false;
    WorkerReport report;
};
// Starts a worker that runs `job` for `file`; returns its id, or -1 with
// errno set. On Windows the worker is this program started again with the
// same arguments, which learns its file from workerFile().
long startWorker(size_t file, const std::function<WorkerReport()>& job);
// Waits for a worker to end; false when interrupted or after a while, so
// that the caller can look at the signals.
bool waitForWorker(WorkerEnd& end);
void signalWorker(long id, int signal);
// In a worker started again: the file it is for.
std::optional<size_t> workerFile();
[[noreturn]] void finishWorker(const WorkerReport& report);

}  // namespace platform::sys
