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
#include <optional>
#include <string>
#include <vector>

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

void prepareStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number: this one.
        const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) close(null);
    }
}

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

namespace {
Kind kindOfMode(mode_t mode) {
    if (S_ISDIR(mode)) return Kind::Directory;
    if (S_ISBLK(mode) || S_ISSOCK(mode)) return Kind::Refused;
    if (S_ISFIFO(mode)) return Kind::Fifo;
    if (S_ISCHR(mode)) return Kind::Device;
    return Kind::Regular;
}
}  // namespace

bool kindOf(const std::string& path, Kind& kind) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return false;
        kind = Kind::Missing;
        return true;
    }
    kind = kindOfMode(st.st_mode);
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

namespace {
// The descriptor a name such as /dev/fd/N, /dev/stdout or /proc/self/fd/N
// stands for (the name alone, no link followed).
std::optional<int> descriptorInName(const std::string& path) {
    if (path == "/dev/stdin") return 0;
    if (path == "/dev/stdout") return 1;
    if (path == "/dev/stderr") return 2;
    const std::string own = "/proc/" + std::to_string(getpid()) + "/fd/";
    for (const std::string& prefix : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                      std::string("/proc/thread-self/fd/"), own}) {
        if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size()) continue;
        const std::string digits = path.substr(prefix.size());
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        return std::stoi(digits);
    }
    return std::nullopt;
}

sigset_t endingSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : endingSignals())
        sigaddset(&set, s);
    return set;
}

// Holds the ending signals back while it lives; they arrive once it ends.
class SignalsHeld {
  public:
    SignalsHeld() {
        const sigset_t set = endingSet();
        sigprocmask(SIG_BLOCK, &set, &before_);
    }
    ~SignalsHeld() {
        const int error = errno;
        sigprocmask(SIG_SETMASK, &before_, nullptr);
        errno = error;
    }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

  private:
    sigset_t before_;
};

// Copies the bytes of `in` from its start to `out` from `at` (-1: where
// `out` stands, or its end when it appends). False with errno set.
bool copyBytes(int in, int out, off_t at) {
    char buffer[65536];
    for (off_t from = 0;;) {
        const ssize_t n = pread(in, buffer, sizeof buffer, from);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w =
                at < 0 ? ::write(out, buffer + done, static_cast<size_t>(n - done))
                       : pwrite(out, buffer + done, static_cast<size_t>(n - done), at + done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                if (w == 0) errno = ENOSPC;
                return false;
            }
            done += w;
        }
        from += n;
        if (at >= 0) at += n;
    }
}

std::string besideName(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string suffix = ".old-XXXXXX";
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t room = nameLimit(dir) - 1 - suffix.size();
    if (base.size() > room) base.resize(room);
    return dir + "/." + base + suffix;
}

// Rewrites a file with several names in place, which keeps that file (its
// inode, and so every name, its owner and its mode). Its old contents are
// copied aside first: a rewrite that fails half-way puts them back.
bool rewriteInPlace(const std::string& from, const std::string& to) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const int out = open(to.c_str(), O_RDWR | O_CLOEXEC);
    if (out < 0) {
        const int error = errno;
        close(in);
        errno = error;
        return false;
    }
    // A signal in the middle would leave the file half old, half new (or
    // the copy aside behind): they wait until the file is whole again.
    SignalsHeld held;
    struct stat st {};
    std::string aside = besideName(to);
    int saved = fstat(out, &st) == 0 ? createTemporary(aside, 0600) : -1;
    bool good = saved >= 0 && copyBytes(out, saved, 0) && fsync(saved) == 0;
    if (good) {
        good = copyBytes(in, out, 0);
        struct stat written {};
        if (good) good = fstat(in, &written) == 0 && ftruncate(out, written.st_size) == 0;
        if (!good) {
            // Back to the old contents, over blocks the file already had.
            const int error = errno;
            if (copyBytes(saved, out, 0)) (void)!ftruncate(out, st.st_size);
            errno = error;
        }
    }
    const int error = errno;
    if (saved >= 0) {
        close(saved);
        unlink(aside.c_str());
    }
    close(in);
    if (close(out) != 0 && good) return false;
    if (!good) errno = error;
    return good && unlink(from.c_str()) == 0;
}
}  // namespace

std::optional<NamedDescriptor> descriptorNamed(const std::string& path) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        if (const auto fd = descriptorInName(p)) {
            struct stat st {};
            if (fstat(*fd, &st) != 0) return std::nullopt;
            return NamedDescriptor{*fd, kindOfMode(st.st_mode)};
        }
        char to[PATH_MAX + 1];
        const ssize_t n = readlink(p.c_str(), to, PATH_MAX);
        if (n <= 0) return std::nullopt;
        const std::string next(to, static_cast<size_t>(n));
        const size_t slash = p.rfind('/');
        p = next[0] == '/' || slash == std::string::npos ? next : p.substr(0, slash + 1) + next;
    }
    return std::nullopt;
}

int newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<int>(0666 & ~mask);
}

int modeFor(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : newFileMode();
}

int createTemporary(std::string& pattern, int mode) {
    // mkstemp creates the file private (O_EXCL, 0600): it gets its final
    // mode before anything is written into it.
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return -1;
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    fchmod(fd, static_cast<mode_t>(mode & 0777));
    return fd;
}

bool replaceFile(const std::string& from, const std::string& to) {
    struct stat old {};
    if (stat(to.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        // A file with several names is rewritten in place, so that every
        // name shows the new contents.
        if (old.st_nlink > 1) return rewriteInPlace(from, to);
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

int openToUpdate(const std::string& path) {
    return open(path.c_str(), O_RDWR | O_CLOEXEC);
}

int64_t readAt(int fd, void* bytes, size_t count, int64_t at) {
    ssize_t n;
    do
        n = pread(fd, bytes, count, static_cast<off_t>(at));
    while (n < 0 && errno == EINTR);
    return n;
}

bool writeAt(int fd, const void* bytes, size_t count, int64_t at) {
    const auto* from = static_cast<const char*>(bytes);
    for (size_t done = 0; done < count;) {
        const ssize_t n = pwrite(fd, from + done, count - done, static_cast<off_t>(at) + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

int64_t seekToEnd(int fd) {
    return lseek(fd, 0, SEEK_END);
}

bool copyInto(const std::string& from, int fd) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    SignalsHeld held;
    struct stat st {};
    const bool appends = (fcntl(fd, F_GETFL) & O_APPEND) != 0;
    const off_t at = lseek(fd, 0, SEEK_CUR);
    // Written at the end: a failure takes back what it added.
    const bool atEnd = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (appends || at == st.st_size);
    bool good = copyBytes(in, fd, -1);
    const int error = errno;
    if (!good && atEnd && ftruncate(fd, st.st_size) == 0 && !appends) lseek(fd, at, SEEK_SET);
    close(in);
    if (!good) {
        errno = error;
        return false;
    }
    return unlink(from.c_str()) == 0;
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

std::vector<int> endingSignals() {
    std::vector<int> all = {SIGHUP,    SIGINT,  SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2,
                            SIGVTALRM, SIGPROF, SIGXCPU, SIGABRT, SIGTRAP, SIGSYS,  SIGIO};
#ifdef SIGPWR
    all.push_back(SIGPWR);
#endif
#ifdef SIGSTKFLT
    all.push_back(SIGSTKFLT);
#endif
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s)
        all.push_back(s);
    return all;
}

void onEndingSignals(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking read returns early so a stop request is seen.
    action.sa_flags = 0;
    for (int s : endingSignals())
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
