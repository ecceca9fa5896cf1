#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>

#include "platform/system.h"

namespace platform::sys {
namespace {

struct Report {
    int64_t frames;
    int rate;
};

// Each worker's pipe for its figures, by process id.
std::map<pid_t, int> resultPipes;

}  // namespace

void prepareStandardStreams() {}

bool isTerminal(int fd) {
    return isatty(fd) != 0;
}

int waitForInput(int fd, int milliseconds) {
    pollfd ready{fd, POLLIN, 0};
    const int polled = poll(&ready, 1, milliseconds);
    return polled > 0 ? 1 : polled;
}

int waitForOutput(int fd, int milliseconds) {
    pollfd ready{fd, POLLOUT, 0};
    const int polled = poll(&ready, 1, milliseconds);
    return polled > 0 ? 1 : polled;
}

int64_t bytesWaiting(int fd) {
    int held = 0;
    return ioctl(fd, FIONREAD, &held) == 0 ? held : 0;
}

bool kindOf(const std::string& path, Kind& kind) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return false;
        kind = Kind::Missing;
        return true;
    }
    if (S_ISDIR(st.st_mode))
        kind = Kind::Directory;
    else if (S_ISBLK(st.st_mode) || S_ISSOCK(st.st_mode))
        kind = Kind::Refused;
    else if (S_ISFIFO(st.st_mode))
        kind = Kind::Fifo;
    else if (S_ISCHR(st.st_mode))
        kind = Kind::Device;
    else
        kind = Kind::Regular;
    return true;
}

bool isSymbolicLink(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

int openInPlace(const std::string& path) {
    return open(path.c_str(), O_WRONLY | O_CLOEXEC);
}

size_t nameLimit(const std::string& dir) {
    long nameMax = pathconf(dir.c_str(), _PC_NAME_MAX);
    if (nameMax <= 0) nameMax = NAME_MAX;
    return static_cast<size_t>(nameMax);
}

int createTemporary(std::string& pattern) {
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return -1;
    // mkstemp creates the file private; give it the mode a new file would get.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    return fd;
}

namespace {
// Copies a finished file's bytes over another's, which keeps that file (its
// inode, and so every name, its owner and its mode).
bool copyOver(const std::string& from, const std::string& to) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const int out = open(to.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    bool good = out >= 0;
    char buffer[65536];
    while (good) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            good = n == 0;
            break;
        }
        for (ssize_t done = 0; good && done < n;) {
            const ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            good = w > 0;
            done += w > 0 ? w : 0;
        }
    }
    const int error = errno;
    close(in);
    if (out >= 0 && close(out) != 0) good = false;
    if (!good) errno = error;
    return good;
}
}  // namespace

bool replaceFile(const std::string& from, const std::string& to) {
    struct stat old {};
    if (stat(to.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        // A file with several names is rewritten in place, so that every
        // name shows the new contents.
        if (old.st_nlink > 1) return copyOver(from, to) && unlink(from.c_str()) == 0;
        // Otherwise the new file takes the old one's owner where that is
        // allowed (the group at least, if the user is in it), then its mode:
        // a private file stays private.
        if (chown(from.c_str(), old.st_uid, old.st_gid) != 0 &&
            chown(from.c_str(), static_cast<uid_t>(-1), old.st_gid) != 0) {
            // Not allowed: the file is the writer's, with the old mode.
        }
        chmod(from.c_str(), old.st_mode & 07777);
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

namespace {
constexpr size_t kHugePage = size_t{2} << 20;
size_t hugePages(size_t bytes) {
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}
}  // namespace

void* largeBlock(size_t bytes) {
    void* block = std::aligned_alloc(kHugePage, hugePages(bytes));
    if (!block) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    // Only a hint: without huge pages the block is in ordinary pages.
    madvise(block, hugePages(bytes), MADV_HUGEPAGE);
#endif
    return block;
}

void releaseLargeBlock(void* block, size_t) {
    std::free(block);
}

void onEndingSignals(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking read returns early so a stop request is seen.
    action.sa_flags = 0;
    // Every signal whose default ends the program, but the two a program
    // cannot take and those of its own faults.
    for (int s :
         {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU})
        sigaction(s, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    // Past the file-size limit a write fails with EFBIG, reported as such.
    ::signal(SIGXFSZ, SIG_IGN);
}

void dieBy(int signal) {
    ::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal);
}

void dieOfClosedPipe() {
    dieBy(SIGPIPE);
}

long startWorker(size_t, const std::function<WorkerReport()>& job) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid != 0) {
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            return -1;
        }
        resultPipes[pid] = fds[0];
        return pid;
    }
    close(fds[0]);
    // The other workers' pipes are the parent's: a worker keeps its
    // descriptors for its own files.
    for (const auto& [other, fd] : resultPipes)
        close(fd);
    resultPipes.clear();
    const WorkerReport r = job();
    const Report report{r.frames, r.rate};
    if (::write(fds[1], &report, sizeof report) != static_cast<ssize_t>(sizeof report)) {
        // The parent only loses this file's figures for the summary.
    }
    std::fflush(nullptr);
    _exit(r.status);
}

bool waitForWorker(WorkerEnd& end) {
    int status = 0;
    const pid_t pid = waitpid(-1, &status, 0);
    if (pid < 0) return false;  // interrupted: look at the signal first
    const auto it = resultPipes.find(pid);
    if (it == resultPipes.end()) return false;
    Report report{0, 0};
    end.id = pid;
    end.reported = ::read(it->second, &report, sizeof report) == sizeof report;
    close(it->second);
    resultPipes.erase(it);
    end.report = {0, report.frames, report.rate};
    end.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return true;
}

void signalWorker(long id, int signal) {
    kill(static_cast<pid_t>(id), signal);
}

std::optional<size_t> workerFile() {
    return std::nullopt;  // a forked worker runs its job directly
}

void finishWorker(const WorkerReport& report) {
    std::fflush(nullptr);
    _exit(report.status);
}

}  // namespace platform::sys
