#include "app/file/audio_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace file_tool {

namespace {
constexpr int kMinRate = 8000;
constexpr int kMaxRate = 48000;
constexpr size_t kChunkFrames = 4096;

std::string named(const std::string& path) {
    return "'" + path + "'";
}
}  // namespace

InputFile::InputFile(const std::string& path) : path_(path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) throw FileError(named(path) + ": no such file");
    if (std::filesystem::is_directory(path, ec))
        throw FileError(named(path) + ": is a directory, not an audio file");
    file_ = sf_open(path.c_str(), SFM_READ, &info_);
    if (!file_)
        throw FileError(named(path) + ": cannot read it as audio (" +
                        std::string(sf_strerror(nullptr)) + ")");
    // Floating-point files are scaled to the 16-bit range and clipped.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    if (info_.samplerate < kMinRate || info_.samplerate > kMaxRate) {
        const std::string rate = std::to_string(info_.samplerate);
        sf_close(file_);
        file_ = nullptr;
        throw FileError(named(path) + ": sampling rate " + rate +
                        " Hz is not supported (8000 to 48000 Hz)");
    }
    if (info_.channels < 1 || info_.frames <= 0) {
        sf_close(file_);
        file_ = nullptr;
        throw FileError(named(path) + ": holds no audio samples");
    }
    interleaved_.resize(kChunkFrames * static_cast<size_t>(info_.channels));
}

InputFile::~InputFile() {
    if (file_) sf_close(file_);
}

size_t InputFile::read(int16_t* samples, size_t count) {
    const int64_t left = total_ - delivered_;
    if (left <= 0) return 0;
    count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), left));
    size_t done = 0;
    const int ch = info_.channels;
    while (!ended_ && done < count) {
        const size_t want = std::min(count - done, kChunkFrames);
        const sf_count_t got = sf_readf_short(file_, interleaved_.data(), want);
        if (got <= 0) {
            ended_ = true;
            break;
        }
        if (ch == 1) {
            // Mono needs no mixing: a straight copy with the peak in a local.
            int peak = peak_;
            for (sf_count_t f = 0; f < got; ++f) {
                const int v = interleaved_[f];
                peak = std::max(peak, std::abs(v));
                samples[done + f] = static_cast<int16_t>(v);
            }
            peak_ = peak;
            done += static_cast<size_t>(got);
            continue;
        }
        for (sf_count_t f = 0; f < got; ++f) {
            long sum = 0;
            for (int c = 0; c < ch; ++c)
                sum += interleaved_[f * ch + c];
            const int v = static_cast<int>(std::lround(static_cast<double>(sum) / ch));
            peak_ = std::max(peak_, std::abs(v));
            samples[done++] = static_cast<int16_t>(v);
        }
    }
    // The input is followed by silence until every sample has gone through.
    std::fill(samples + done, samples + count, int16_t{0});
    delivered_ += static_cast<int64_t>(count);
    return count;
}

OutputFile::OutputFile(const std::string& path, int rate, int channels, int64_t frames,
                       int64_t skip)
    : path_(path), channels_(channels), frames_(frames), skip_(skip) {
    const std::filesystem::path target(path);
    if (std::filesystem::is_directory(target)) throw FileError(named(path) + ": is a directory");
    const std::filesystem::path dir =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::string name = ".";
    name.append(target.filename().string()).append(".tmp-XXXXXX");
    std::string pattern = (dir / name).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        throw FileError(named(path) + ": cannot write in " + named(dir.string()) + " (" +
                        std::strerror(errno) + ")");
    temp_ = pattern;
    // mkstemp creates the file private; give it the mode a new file would get.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!file_) {
        const std::string why = sf_strerror(nullptr);
        std::remove(temp_.c_str());
        throw FileError(named(path) + ": cannot write the WAV file (" + why + ")");
    }
}

OutputFile::~OutputFile() {
    if (file_) sf_close(file_);
    if (!committed_ && !temp_.empty()) std::remove(temp_.c_str());
}

void OutputFile::write(const int16_t* values, size_t count) {
    // Work in frames: skip and limit apply to whole frames.
    const int64_t perFrame = channels_;
    int64_t first = 0;
    const int64_t total = static_cast<int64_t>(count);
    const int64_t skipValues = skip_ * perFrame;
    if (seen_ < skipValues) first = std::min(total, skipValues - seen_);
    seen_ += total;
    const int64_t wantValues = (frames_ - written_) * perFrame;
    const int64_t n = std::min(total - first, wantValues);
    if (n <= 0 || failed_) return;
    for (int64_t i = 0; i < n; ++i)
        peak_ = std::max(peak_, std::abs(int(values[first + i])));
    if (sf_write_short(file_, values + first, n) != n) failed_ = true;
    written_ += n / perFrame;
    if (onProgress) onProgress(written_, frames_);
}

void OutputFile::commit() {
    const bool closeFailed = sf_close(file_) != 0;
    file_ = nullptr;
    if (failed_ || closeFailed) throw FileError(named(path_) + ": writing failed (disk full?)");
    if (std::rename(temp_.c_str(), path_.c_str()) != 0)
        throw FileError(named(path_) + ": cannot replace it (" + std::strerror(errno) + ")");
    committed_ = true;
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) return true;
    const auto ca = std::filesystem::weakly_canonical(a, ec);
    const auto cb = std::filesystem::weakly_canonical(b, ec);
    return !ec && ca == cb;
}

}  // namespace file_tool
