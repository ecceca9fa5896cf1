#include "app/file/batch.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/signals.h"
#include "app/file/job.h"
#include "platform/system.h"

namespace file_tool {

namespace sys = platform::sys;
namespace {

// What one worker runs: one file, quietly (the batch reports each file).
sys::WorkerReport runOne(const Options& batch, size_t file, const std::string& output) {
    cli::signals::install(cli::signals::Mode::Die);
    Options one = batch;
    one.input = batch.inputs[file];
    one.output = output;
    one.quiet = true;
    const JobResult r = runJob(one);
    return {r.status, r.frames, r.rate};
}

// DIR/NAME.wav for every INPUT; nothing when two would be the same file.
std::optional<std::vector<std::string>> outputNames(const Options& o) {
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
            return std::nullopt;
        }
        outputs.push_back(out);
    }
    return outputs;
}

// The pool of workers: keeps up to --jobs of them running, one per file,
// until every file is done or a signal asks to stop.
class Pool {
  public:
    Pool(const Options& o, const std::vector<std::string>& outputs) : o_(o), outputs_(outputs) {}

    void run() {
        bool forwarded = false;
        while (next_ < o_.inputs.size() || !running_.empty()) {
            const int stop = cli::signals::received();
            if (stop && !forwarded) {
                // Children in the terminal's process group have it already; a
                // signal sent to this process alone is passed on.
                for (const auto& [id, file] : running_)
                    sys::signalWorker(id, stop);
                forwarded = true;
            }
            if (!stop) startWorkers();
            if (running_.empty()) break;
            sys::WorkerEnd end;
            if (sys::waitForWorker(end)) collect(end, stop);  // else look at the signal first
        }
    }

    const std::vector<std::string>& failed() const { return failed_; }
    double audioSeconds() const { return audioSeconds_; }

  private:
    void startWorkers() {
        while (next_ < o_.inputs.size() && running_.size() < static_cast<size_t>(o_.jobs)) {
            const size_t file = next_;
            const long id =
                sys::startWorker(file, [&] { return runOne(o_, file, outputs_[file]); });
            if (id < 0) {
                // Out of descriptors or processes: wait for a running worker
                // to end and try again; only with none running is it this file's failure.
                if (!running_.empty()) return;
                std::fprintf(stderr, "tarnix-file: '%s': cannot start a worker (%s)\n",
                             o_.inputs[next_].c_str(), std::strerror(errno));
                failed_.push_back(o_.inputs[next_++]);
                ++finished_;
                continue;
            }
            running_[id] = next_++;
        }
    }

    // A worker has ended: its file is written or failed.
    void collect(const sys::WorkerEnd& end, int stop) {
        const auto it = running_.find(end.id);
        if (it == running_.end()) return;
        const size_t file = it->second;
        running_.erase(it);
        ++finished_;
        if (end.exitStatus != 0) {
            failed_.push_back(o_.inputs[file]);
            if (end.signal != 0 && !stop)
                std::fprintf(stderr, "tarnix-file: '%s': the worker ended by signal %d\n",
                             o_.inputs[file].c_str(), end.signal);
            return;
        }
        const sys::WorkerReport& report = end.report;
        const double seconds =
            end.reported && report.rate > 0 ? double(report.frames) / report.rate : 0;
        audioSeconds_ += seconds;
        if (!o_.quiet)
            std::printf("tarnix-file: [%zu/%zu] wrote '%s' (%.1f s)\n", finished_, o_.inputs.size(),
                        outputs_[file].c_str(), seconds);
        std::fflush(stdout);
    }

    const Options& o_;
    const std::vector<std::string>& outputs_;
    std::map<long, size_t> running_;  // worker -> file
    std::vector<std::string> failed_;
    size_t next_ = 0, finished_ = 0;
    double audioSeconds_ = 0.0;
};

void printSummary(const Options& o, const Pool& pool, double wall) {
    const std::vector<std::string>& failed = pool.failed();
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
            o.inputs.size(), o.inputs.size() - failed.size(), failed.size(),
            pool.audioSeconds() / 3600, wall, wall > 0 ? pool.audioSeconds() / wall : 0.0, o.jobs);
}

}  // namespace

int runBatch(const Options& o) {
    namespace fs = std::filesystem;
    const auto outputs = outputNames(o);
    if (!outputs) return 2;
    if (const auto file = sys::workerFile()) sys::finishWorker(runOne(o, *file, (*outputs)[*file]));
    std::error_code ec;
    fs::create_directories(o.outputDir, ec);
    if (ec || !fs::is_directory(o.outputDir, ec)) {
        std::fprintf(stderr, "tarnix-file: '%s': cannot make the output directory (%s)\n",
                     o.outputDir.c_str(), ec ? ec.message().c_str() : "not a directory");
        return 1;
    }

    cli::signals::install(cli::signals::Mode::Stop);
    const auto started = std::chrono::steady_clock::now();
    Pool pool(o, *outputs);
    pool.run();
    if (const int stop = cli::signals::received()) cli::signals::dieBy(stop);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    printSummary(o, pool, wall);
    return pool.failed().empty() ? 0 : 1;
}

}  // namespace file_tool
