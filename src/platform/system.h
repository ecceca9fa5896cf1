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
#include <vector>

namespace platform::sys {

inline constexpr int kStandardInput = 0;
inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

// Raw samples must pass the standard streams unchanged: no text mode. On
// POSIX, a standard descriptor that is closed at start is opened on the null
// device first, so that no file the program opens later takes its number
// (messages for standard error would go into it).
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
// The descriptor `path` names when it is one of this program's own open
// descriptors by a name such as /dev/stdout or /dev/fd/N (links followed),
// and what it is open on.
struct NamedDescriptor {
    int fd = -1;
    Kind kind = Kind::Device;
};
std::optional<NamedDescriptor> descriptorNamed(const std::string& path);
// Opens a device or FIFO for writing in place; -1 with errno set.
int openInPlace(const std::string& path);
// The longest file name `dir` allows.
size_t nameLimit(const std::string& dir);
// The mode a new file would get (what the umask leaves of 0666).
int newFileMode();
// The permission bits of an existing file, or newFileMode() for a missing one.
int modeFor(const std::string& path);
// Creates a new file from `pattern`, whose last six characters are replaced
// to make the name unique, with `mode` from the moment it exists (never more
// open: a private file's new contents stay private); -1 with errno set.
int createTemporary(std::string& pattern, int mode);
// Puts `from` in the place of `to`, replacing it with the old file's owner
// and mode. A file with several hard links is rewritten in place instead:
// its old contents are first copied aside, so that a failure (a full disk)
// puts them back, and the ending signals wait until the rewrite is over.
// False with errno set, `to` as it was.
bool replaceFile(const std::string& from, const std::string& to);
// A file of the program's own opened for reading and writing in place; -1
// with errno set.
int openToUpdate(const std::string& path);
// Reads up to `count` bytes at `at`: how many, or -1 with errno set.
int64_t readAt(int fd, void* bytes, size_t count, int64_t at);
// Writes all `count` bytes at `at`; false with errno set.
bool writeAt(int fd, const void* bytes, size_t count, int64_t at);
// Moves to the end of an open file: its size, or -1 with errno set.
int64_t seekToEnd(int fd);
// Writes the whole of the finished file `from` into `fd` where it stands (at
// its end when it appends), then removes `from`. The ending signals wait
// until it is over; a failure takes back what was added at the end. False
// with errno set.
bool copyInto(const std::string& from, int fd);

// Room for one large object that is cleared when it is made, such as the
// engine (about a megabyte): on Linux in a huge page where the kernel gives
// one, so that clearing it takes one page fault instead of some 260, which
// is a good part of a short file's run. Throws std::bad_alloc when there is
// no room; releaseLargeBlock takes the same size back.
void* largeBlock(size_t bytes);
void releaseLargeBlock(void* block, size_t bytes);

// The signals whose default action ends the program and that a program can
// take: all but the faults of its own code (SIGSEGV, SIGBUS, SIGFPE, SIGILL)
// and the two that show up as write errors (SIGPIPE, SIGXFSZ).
std::vector<int> endingSignals();
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
