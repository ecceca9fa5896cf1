// Windows has no fork, poll, sigaction or symbolic links of the POSIX kind:
// workers are this program started again, input waits are polls of the pipe,
// and the temporary file is opened so that a signal handler may delete it.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <random>
#include <vector>

#include "platform/system.h"

namespace platform::sys {
namespace {

struct Report {
    int64_t frames;
    int rate;
};

struct Child {
    HANDLE process;
    HANDLE results;
};
std::map<long, Child> children;

// Tells a started worker its file and the pipe for its figures.
constexpr const char* kWorkerVariable = "TARNIX_FILE_WORKER";
HANDLE workerResults = INVALID_HANDLE_VALUE;

void (*endingHandler)(int) = nullptr;

void setErrno(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            errno = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            errno = EACCES;
            break;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            errno = EEXIST;
            break;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            errno = ENOMEM;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        default:
            errno = EIO;
    }
}

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// The CRT runs the handler once and then restores the default, and runs it
// on a thread of its own for Ctrl-C: arm it again for a second signal.
void onEnding(int signal) {
    std::signal(signal, onEnding);
    if (endingHandler) endingHandler(signal);
}

}  // namespace

void prepareStandardStreams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

bool isTerminal(int fd) {
    return _isatty(fd) != 0;
}

int waitForOutput(int, int) {
    return 1;  // a write here blocks until it is taken
}

int waitForInput(int fd, int milliseconds) {
    const HANDLE h = handleOf(fd);
    if (h == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    switch (GetFileType(h)) {
        case FILE_TYPE_PIPE: {
            // A pipe cannot be waited on: look at it now and then.
            const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
            for (;;) {
                DWORD held = 0;
                // A failure is the writer gone: the read sees the end.
                if (!PeekNamedPipe(h, nullptr, 0, nullptr, &held, nullptr) || held > 0) return 1;
                const ULONGLONG now = GetTickCount64();
                if (now >= until) return 0;
                Sleep(static_cast<DWORD>(std::min<ULONGLONG>(until - now, 5)));
            }
        }
        case FILE_TYPE_CHAR:
            return WaitForSingleObject(h, static_cast<DWORD>(milliseconds)) == WAIT_TIMEOUT ? 0 : 1;
        default:
            return 1;  // a file is always ready
    }
}

int64_t bytesWaiting(int fd) {
    const HANDLE h = handleOf(fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    if (GetFileType(h) == FILE_TYPE_PIPE) {
        DWORD held = 0;
        return PeekNamedPipe(h, nullptr, 0, nullptr, &held, nullptr) ? held : 0;
    }
    LARGE_INTEGER size{}, at{}, zero{};
    if (GetFileType(h) == FILE_TYPE_DISK && GetFileSizeEx(h, &size) &&
        SetFilePointerEx(h, zero, &at, FILE_CURRENT))
        return std::max<int64_t>(0, size.QuadPart - at.QuadPart);
    return 0;
}

bool kindOf(const std::string& path, Kind& kind) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "nul" || lower == "nul:" || lower == "\\\\.\\nul") {
        kind = Kind::Null;
        return true;
    }
    struct _stat64 st {};
    if (_stat64(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return false;
        kind = Kind::Missing;
        return true;
    }
    if ((st.st_mode & _S_IFMT) == _S_IFDIR)
        kind = Kind::Directory;
    else if ((st.st_mode & _S_IFMT) == _S_IFCHR)
        kind = Kind::Device;
    else
        kind = Kind::Regular;
    return true;
}

bool isSymbolicLink(const std::string&) {
    return false;  // links are written over like files
}

int openInPlace(const std::string& path) {
    return _open(path.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
}

size_t nameLimit(const std::string&) {
    return 255;
}

int createTemporary(std::string& pattern, int) {
    static std::minstd_rand random(std::random_device{}() ^ GetCurrentProcessId());
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (size_t i = pattern.size() - 6; i < pattern.size(); ++i)
            pattern[i] = letters[random() % (sizeof letters - 1)];
        // Shared for deletion so that the signal handler can remove it while
        // it is still open.
        const HANDLE h = CreateFileA(pattern.c_str(), GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
            setErrno(error);
            return -1;
        }
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY);
        if (fd < 0) CloseHandle(h);
        return fd;
    }
    errno = EEXIST;
    return -1;
}

std::optional<NamedDescriptor> descriptorNamed(const std::string&) {
    return std::nullopt;  // no names for descriptors here
}

int newFileMode() {
    return 0666;
}

int modeFor(const std::string&) {
    return 0666;
}

int openToUpdate(const std::string& path) {
    return _open(path.c_str(), _O_RDWR | _O_BINARY | _O_NOINHERIT);
}

int64_t readAt(int fd, void* bytes, size_t count, int64_t at) {
    if (_lseeki64(fd, at, SEEK_SET) < 0) return -1;
    return _read(fd, bytes, static_cast<unsigned>(count));
}

bool writeAt(int fd, const void* bytes, size_t count, int64_t at) {
    const __int64 back = _telli64(fd);
    if (_lseeki64(fd, at, SEEK_SET) < 0) return false;
    const bool written = _write(fd, bytes, static_cast<unsigned>(count)) == static_cast<int>(count);
    _lseeki64(fd, back, SEEK_SET);
    return written;
}

int64_t seekToEnd(int fd) {
    return _lseeki64(fd, 0, SEEK_END);
}

bool copyInto(const std::string& from, int fd) {
    const int in = _open(from.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (in < 0) return false;
    char buffer[65536];
    int n = 0;
    bool good = true;
    while (good && (n = _read(in, buffer, sizeof buffer)) > 0)
        good = _write(fd, buffer, static_cast<unsigned>(n)) == n;
    _close(in);
    return good && n == 0 && std::remove(from.c_str()) == 0;
}

bool replaceFile(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    setErrno(GetLastError());
    return false;
}

// Large pages need a privilege on Windows: ordinary memory, aligned for the
// engine's vectors.
constexpr std::align_val_t kBlockAlignment{4096};

void* largeBlock(size_t bytes) {
    return ::operator new(bytes, kBlockAlignment);
}

void releaseLargeBlock(void* block, size_t) {
    ::operator delete(block, kBlockAlignment);
}

std::vector<int> endingSignals() {
    return {SIGINT, SIGTERM, SIGBREAK};
}

void onEndingSignals(void (*handler)(int)) {
    endingHandler = handler;
    for (int s : endingSignals())
        std::signal(s, onEnding);
}

void dieBy(int signal) {
    // No signal can end a process here: the status a POSIX shell would show.
    _exit(128 + signal);
}

void dieOfClosedPipe() {
    dieBy(13);  // SIGPIPE's number
}

long startWorker(size_t file, const std::function<WorkerReport()>&) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        setErrno(GetLastError());
        return -1;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    std::vector<wchar_t> self(32768);
    GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    std::wstring commandLine = GetCommandLineW();
    const std::string request =
        std::to_string(file) + " " + std::to_string(reinterpret_cast<uintptr_t>(writeEnd));
    SetEnvironmentVariableA(kWorkerVariable, request.c_str());
    std::fflush(stdout);
    std::fflush(stderr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(self.data(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    const DWORD error = GetLastError();
    SetEnvironmentVariableA(kWorkerVariable, nullptr);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        setErrno(error);
        return -1;
    }
    CloseHandle(process.hThread);
    const long id = static_cast<long>(process.dwProcessId);
    children[id] = {process.hProcess, readEnd};
    return id;
}

bool waitForWorker(WorkerEnd& end) {
    std::vector<HANDLE> handles;
    std::vector<long> ids;
    for (const auto& [id, child] : children) {
        if (handles.size() == MAXIMUM_WAIT_OBJECTS) break;
        handles.push_back(child.process);
        ids.push_back(id);
    }
    if (handles.empty()) return false;
    // Not forever: a Ctrl-C does not interrupt the wait.
    const DWORD woken =
        WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, 250);
    if (woken >= WAIT_OBJECT_0 + handles.size()) return false;
    const long id = ids[woken - WAIT_OBJECT_0];
    const Child child = children[id];
    children.erase(id);
    DWORD code = 1;
    GetExitCodeProcess(child.process, &code);
    // The figures are in the pipe if the worker wrote them; a read must not
    // wait for a worker that died without.
    Report report{0, 0};
    DWORD held = 0, got = 0;
    end.reported = PeekNamedPipe(child.results, nullptr, 0, nullptr, &held, nullptr) &&
                   held >= sizeof report &&
                   ReadFile(child.results, &report, sizeof report, &got, nullptr) &&
                   got == sizeof report;
    CloseHandle(child.results);
    CloseHandle(child.process);
    end.id = id;
    end.report = {0, report.frames, report.rate};
    end.exitStatus = static_cast<int>(code);
    end.signal = 0;
    return true;
}

void signalWorker(long, int) {
    // Workers share the console, so a Ctrl-C has reached them already.
}

std::optional<size_t> workerFile() {
    const char* request = std::getenv(kWorkerVariable);
    if (!request) return std::nullopt;
    unsigned long long file = 0, handle = 0;
    if (std::sscanf(request, "%llu %llu", &file, &handle) != 2) return std::nullopt;
    workerResults = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handle));
    return static_cast<size_t>(file);
}

void finishWorker(const WorkerReport& r) {
    const Report report{r.frames, r.rate};
    DWORD written = 0;
    WriteFile(workerResults, &report, sizeof report, &written, nullptr);
    std::fflush(nullptr);
    _exit(r.status);
}

}  // namespace platform::sys
