#include "app/file/batch.h"

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
#include "platform/system.h"

namespace file_tool {

namespace sys = platform::sys;
namespace {

struct Worker {
    size_t file;
};

// What a worker runs: one file, quietly (the batch reports each file).
sys::WorkerReport runOne(const Options& batch, size_t file, const std::string& output) {
    signals::install(signals::Mode::Die);
    Options one = batch;
    one.input = batch.inputs[file];
    one.output = output;
    one.quiet = true;
    const JobResult r = runJob(one);
    return {r.status, r.frames, r.rate};
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
    if (const auto file = sys::workerFile()) sys::finishWorker(runOne(o, *file, outputs[*file]));
    std::error_code ec;
    fs::create_directories(o.outputDir, ec);
    if (ec || !fs::is_directory(o.outputDir, ec)) {
        std::fprintf(stderr, "tarnix-file: '%s': cannot make the output directory (%s)\n",
                     o.outputDir.c_str(), ec ? ec.message().c_str() : "not a directory");
        return 1;
    }

    signals::install(signals::Mode::Stop);
    const auto started = std::chrono::steady_clock::now();
    std::map<long, Worker> running;
    std::vector<std::string> failed;
    size_t next = 0, finished = 0;
    double audioSeconds = 0.0;
    bool forwarded = false;
    while (next < o.inputs.size() || !running.empty()) {
        const int stop = signals::received();
        if (stop && !forwarded) {
            // Children in the terminal's process group have it already; a
            // signal sent to this process alone is passed on.
            for (const auto& [id, w] : running)
                sys::signalWorker(id, stop);
            forwarded = true;
        }
        while (!stop && next < o.inputs.size() && running.size() < static_cast<size_t>(o.jobs)) {
            const size_t file = next;
            const long id = sys::startWorker(file, [&] { return runOne(o, file, outputs[file]); });
            if (id < 0) {
                // Out of descriptors or processes: wait for a running worker
                // to end and try again; only with none running is it this file's failure.
                if (!running.empty()) break;
                std::fprintf(stderr, "tarnix-file: '%s': cannot start a worker (%s)\n",
                             o.inputs[next].c_str(), std::strerror(errno));
                failed.push_back(o.inputs[next++]);
                ++finished;
                continue;
            }
            running[id] = {next++};
        }
        if (running.empty()) break;
        sys::WorkerEnd end;
        if (!sys::waitForWorker(end)) continue;  // look at the signal first
        const auto it = running.find(end.id);
        if (it == running.end()) continue;
        const Worker w = it->second;
        running.erase(it);
        ++finished;
        const bool reported = end.reported;
        const sys::WorkerReport report = end.report;
        if (end.exitStatus != 0) {
            failed.push_back(o.inputs[w.file]);
            if (end.signal != 0 && !stop)
                std::fprintf(stderr, "tarnix-file: '%s': the worker ended by signal %d\n",
                             o.inputs[w.file].c_str(), end.signal);
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
