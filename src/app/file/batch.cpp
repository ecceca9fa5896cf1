#include "app/file/batch.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/file/job.h"
#include "app/file/signals.h"

namespace file_tool {
namespace {

struct Worker {
    size_t file;
    int resultPipe;
};

struct Report {
    int64_t frames;
    int rate;
};

// Runs one file in a child process and returns its process id.
pid_t start(const Options& batch, size_t file, const std::string& output, int& readEnd) {
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
        readEnd = fds[0];
        return pid;
    }
    close(fds[0]);
    signals::install(signals::Mode::Die);
    Options one = batch;
    one.input = batch.inputs[file];
    one.output = output;
    one.quiet = true;  // the batch reports each file
    const JobResult r = runJob(one);
    const Report report{r.frames, r.rate};
    if (::write(fds[1], &report, sizeof report) != static_cast<ssize_t>(sizeof report)) {
        // The parent only loses this file's figures for the summary.
    }
    std::fflush(nullptr);
    _exit(r.status);
}

}  // namespace

int runBatch(const Options& o) {
    namespace fs = std::filesystem;
    const std::string extension = o.raw ? ".raw" : ".wav";
    std::vector<std::string> outputs;
    std::map<std::string, size_t> claimed;
    for (size_t i = 0; i < o.inputs.size(); ++i) {
        const std::string name = fs::path(o.inputs[i]).stem().string();
        const std::string out = (fs::path(o.outputDir) / (name + extension)).string();
        const auto [it, fresh] = claimed.emplace(out, i);
        if (!fresh) {
            std::fprintf(stderr, "tarnix-file: '%s' and '%s' would both be written to '%s'\n",
                         o.inputs[it->second].c_str(), o.inputs[i].c_str(), out.c_str());
            return 2;
        }
        outputs.push_back(out);
    }
    std::error_code ec;
    fs::create_directories(o.outputDir, ec);
    if (ec || !fs::is_directory(o.outputDir, ec)) {
        std::fprintf(stderr, "tarnix-file: '%s': cannot make the output directory (%s)\n",
                     o.outputDir.c_str(), ec ? ec.message().c_str() : "not a directory");
        return 1;
    }

    signals::install(signals::Mode::Stop);
    const auto started = std::chrono::steady_clock::now();
    std::map<pid_t, Worker> running;
    std::vector<std::string> failed;
    size_t next = 0, finished = 0;
    double audioSeconds = 0.0;
    bool forwarded = false;
    while (next < o.inputs.size() || !running.empty()) {
        const int stop = signals::received();
        if (stop && !forwarded) {
            // Children in the terminal's process group have it already; a
            // signal sent to this process alone is passed on.
            for (const auto& [pid, w] : running)
                kill(pid, stop);
            forwarded = true;
        }
        while (!stop && next < o.inputs.size() && running.size() < static_cast<size_t>(o.jobs)) {
            int readEnd = -1;
            const pid_t pid = start(o, next, outputs[next], readEnd);
            if (pid < 0) {
                std::fprintf(stderr, "tarnix-file: '%s': cannot start a worker (%s)\n",
                             o.inputs[next].c_str(), std::strerror(errno));
                failed.push_back(o.inputs[next++]);
                ++finished;
                continue;
            }
            running[pid] = {next++, readEnd};
        }
        if (running.empty()) break;
        int status = 0;
        const pid_t pid = waitpid(-1, &status, 0);
        if (pid < 0) continue;  // interrupted: look at the signal first
        const auto it = running.find(pid);
        if (it == running.end()) continue;
        const Worker w = it->second;
        running.erase(it);
        ++finished;
        Report report{0, 0};
        const bool reported = ::read(w.resultPipe, &report, sizeof report) == sizeof report;
        close(w.resultPipe);
        const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (!ok) {
            failed.push_back(o.inputs[w.file]);
            if (WIFSIGNALED(status) && !stop)
                std::fprintf(stderr, "tarnix-file: '%s': the worker ended by signal %d\n",
                             o.inputs[w.file].c_str(), WTERMSIG(status));
            continue;
        }
        const double seconds =
            reported && report.rate > 0 ? double(report.frames) / report.rate : 0;
        audioSeconds += seconds;
        if (!o.quiet)
            std::printf("tarnix-file: [%zu/%zu] wrote '%s' (%.1f s)\n", finished, o.inputs.size(),
                        outputs[w.file].c_str(), seconds);
        std::fflush(stdout);
    }
    if (const int stop = signals::received()) signals::dieBy(stop);

    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!failed.empty()) {
        std::string names;
        for (const auto& f : failed)
            names += (names.empty() ? "'" : ", '") + f + "'";
        std::fprintf(stderr, "tarnix-file: %zu of %zu files failed: %s\n", failed.size(),
                     o.inputs.size(), names.c_str());
    }
    if (!o.quiet)
        std::printf(
            "tarnix-file: %zu files, %zu written, %zu failed; %.2f h of audio in %.1f s (%.0fx "
            "real time) with %d jobs.\n",
            o.inputs.size(), o.inputs.size() - failed.size(), failed.size(), audioSeconds / 3600,
            wall, wall > 0 ? audioSeconds / wall : 0.0, o.jobs);
    return failed.empty() ? 0 : 1;
}

}  // namespace file_tool
