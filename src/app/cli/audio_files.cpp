#include "app/cli/audio_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/cli/signals.h"
#include "platform/system.h"

namespace cli {

namespace sys = platform::sys;

namespace {
constexpr int kMinRate = 8000;
constexpr int kMaxRate = 48000;
constexpr size_t kChunkFrames = 4096;
// Values read or written with one call of the audio library (and so one
// system call): a block at a time would make thousands for a long file.
constexpr size_t kChunkValues = 32768;

std::string named(const std::string& path, const char* standardStream = "standard output") {
    return path == "-" ? std::string(standardStream) : "'" + path + "'";
}

std::string why(int error) {
    return std::string(" (") + std::strerror(error) + ")";
}

// A file that keeps only its position and length: the WAV writer may seek.
template <typename File>
SF_VIRTUAL_IO nowhereFunctions() {
    SF_VIRTUAL_IO io{};
    io.get_filelen = [](void* f) { return static_cast<File*>(f)->length; };
    io.seek = [](sf_count_t offset, int whence, void* data) {
        auto* f = static_cast<File*>(data);
        f->at = offset + (whence == SEEK_CUR ? f->at : whence == SEEK_END ? f->length : 0);
        return f->at;
    };
    io.read = [](void*, sf_count_t, void*) { return sf_count_t{0}; };
    io.write = [](const void*, sf_count_t count, void* data) {
        auto* f = static_cast<File*>(data);
        f->at += count;
        f->length = std::max(f->length, f->at);
        return count;
    };
    io.tell = [](void* f) { return static_cast<File*>(f)->at; };
    return io;
}
}  // namespace

// ---- input ----

InputFile::InputFile(const std::string& path) : name_(path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) throw FileError(named(path) + ": no such file");
        throw FileError(named(path) + ": cannot open it" + why(errno));
    }
    if (S_ISDIR(st.st_mode)) throw FileError(named(path) + ": is a directory, not an audio file");
    file_ = sf_open(path.c_str(), SFM_READ, &info_);
    if (!file_)
        throw FileError(named(path) + ": cannot read it as audio (" +
                        std::string(sf_strerror(nullptr)) + ")");
    // Floating-point samples run from -1 to 1: the library would only round
    // them to integers (all silence), so they are read as such and scaled.
    const int subtype = info_.format & SF_FORMAT_SUBMASK;
    floating_ = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
    rate_ = info_.samplerate;
    std::string problem;
    if (rate_ < kMinRate || rate_ > kMaxRate)
        problem =
            "sampling rate " + std::to_string(rate_) + " Hz is not supported (8000 to 48000 Hz)";
    else if (info_.channels < 1 || info_.channels > 1024)
        problem = "cannot use " + std::to_string(info_.channels) + " channels";
    else if (info_.seekable && info_.frames == 0)
        problem = "holds no audio samples";
    if (!problem.empty()) {
        sf_close(file_);
        file_ = nullptr;
        throw FileError(named(path) + ": " + problem);
    }
    // An unknown length reads as the largest count, and a stream's header
    // holds a placeholder: only a seekable file's count is worth comparing.
    if (info_.seekable && info_.frames > 0 && info_.frames < SF_COUNT_MAX) declared_ = info_.frames;
    chunkFrames_ = std::max<size_t>(1, kChunkValues / static_cast<size_t>(info_.channels));
    interleaved_.resize(chunkFrames_ * static_cast<size_t>(info_.channels));
    if (floating_) floats_.resize(interleaved_.size());
}

InputFile::InputFile(int fd, int rate, const std::string& name)
    : name_(name), fd_(fd), rate_(rate) {
    bytes_.resize(2 * kChunkFrames);
}

InputFile::~InputFile() {
    if (file_) sf_close(file_);
}

size_t InputFile::read(int16_t* samples, size_t count) {
    size_t done = 0;
    if (!ended_) {
        done = fd_ >= 0 ? readRaw(samples, count) : readAudio(samples, count);
        frames_ += static_cast<int64_t>(done);
        delivered_ += static_cast<int64_t>(done);
        if (done > 0) return done;
        end();
    }
    // The input is followed by silence until every sample has gone through.
    const int64_t left = total_ - delivered_;
    if (left <= 0) return 0;
    const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), left));
    std::fill(samples, samples + n, int16_t{0});
    delivered_ += static_cast<int64_t>(n);
    return n;
}

void InputFile::end() {
    ended_ = true;
    // Enough blocks for every input sample to come out, and the two more
    // that must have been captured before the last of them is processed.
    const int64_t processed = (frames_ + delay_ + blockLength_ - 1) / blockLength_;
    total_ = std::max((processed + 2) * blockLength_, minimumTotal_);
    if (onEnd) onEnd(frames_);
}

size_t InputFile::readAudio(int16_t* samples, size_t count) {
    const int ch = info_.channels;
    size_t done = 0;
    while (done < count) {
        if (bufferedAt_ == bufferedEnd_) {
            const sf_count_t got = floating_
                                       ? readFloating()
                                       : sf_readf_short(file_, interleaved_.data(),
                                                        static_cast<sf_count_t>(chunkFrames_));
            if (got <= 0) break;
            bufferedAt_ = 0;
            bufferedEnd_ = static_cast<size_t>(got);
        }
        const size_t n = std::min(count - done, bufferedEnd_ - bufferedAt_);
        const short* from = interleaved_.data() + bufferedAt_ * static_cast<size_t>(ch);
        if (ch == 1) {
            // The common case in a loop of its own, which takes vectors.
            int peak = peak_;
            for (size_t f = 0; f < n; ++f) {
                const int v = from[f];
                peak = std::max(peak, std::abs(v));
                samples[done + f] = static_cast<int16_t>(v);
            }
            peak_ = peak;
        } else {
            for (size_t f = 0; f < n; ++f) {
                long sum = 0;
                for (int c = 0; c < ch; ++c)
                    sum += from[f * ch + c];
                const int v = static_cast<int>(std::lround(static_cast<double>(sum) / ch));
                peak_ = std::max(peak_, std::abs(v));
                samples[done + f] = static_cast<int16_t>(v);
            }
        }
        bufferedAt_ += n;
        done += n;
    }
    return done;
}

sf_count_t InputFile::readFloating() {
    const sf_count_t got =
        sf_readf_double(file_, floats_.data(), static_cast<sf_count_t>(chunkFrames_));
    const size_t values =
        got > 0 ? static_cast<size_t>(got) * static_cast<size_t>(info_.channels) : 0;
    for (size_t i = 0; i < values; ++i) {
        // Full scale is 32768, so a float file made from 16-bit samples
        // gives them back exactly; beyond it the sample is clipped.
        const double v = floats_[i] * 32768.0;
        interleaved_[i] = v >= 32767.0    ? short{32767}
                          : v <= -32768.0 ? short{-32768}
                          : v == v        ? static_cast<short>(std::lrint(v))
                                          : short{0};
    }
    return got;
}

size_t InputFile::readRaw(int16_t* samples, size_t count) {
    // Waits for whole samples; a lone byte at the very end is dropped. Once a
    // signal has asked to stop, what has already arrived is still taken, and
    // then the input ends. Waiting with a timeout means a signal
    // that comes between two reads is never missed.
    count = std::min(count, kChunkFrames);
    while (pendingBytes_ < 2 * count) {
        const bool stopping = signals::received() != 0;
        if (stopping && stopLeft_ < 0) {
            // What has arrived is what the pipe holds now; a writer that goes
            // on writing cannot keep the program alive.
            stopLeft_ = sys::bytesWaiting(fd_);
        }
        if (stopping && stopLeft_ == 0) break;
        const int polled = sys::waitForInput(fd_, stopping ? 0 : 250);
        if (polled < 0 && errno != EINTR)
            throw FileError(named(name_, "standard input") + ": cannot read it" + why(errno));
        if (polled <= 0) {
            if (stopping) break;
            continue;
        }
        size_t want = 2 * count - pendingBytes_;
        if (stopping) want = std::min(want, static_cast<size_t>(stopLeft_));
        const ssize_t got = ::read(fd_, bytes_.data() + pendingBytes_, want);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;  // not to block: polled
        if (got > 0) {
            pendingBytes_ += static_cast<size_t>(got);
            if (stopping) stopLeft_ -= got;
            if (pendingBytes_ >= 2) break;  // deliver what has arrived
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0)
            throw FileError(named(name_, "standard input") + ": cannot read it" + why(errno));
        break;  // end of input
    }
    const size_t n = pendingBytes_ / 2;
    for (size_t i = 0; i < n; ++i) {
        const auto v = static_cast<int16_t>(static_cast<uint16_t>(bytes_[2 * i]) |
                                            static_cast<uint16_t>(bytes_[2 * i + 1]) << 8);
        peak_ = std::max(peak_, std::abs(int(v)));
        samples[i] = v;
    }
    pendingBytes_ -= 2 * n;
    if (pendingBytes_ > 0) bytes_[0] = bytes_[2 * n];
    return n;
}

// ---- output ----

OutputFile::OutputFile(const std::string& path, Format format, int rate, int channels, int64_t skip,
                       int64_t wavLimit)
    : path_(path),
      target_(path),
      rate_(rate),
      wavLimit_(wavLimit),
      format_(format),
      channels_(channels),
      skip_(skip) {
    const sys::Kind kind = target_.kind();
    if (kind == sys::Kind::Fifo && format == Format::Wav)
        throw FileError(named(path) +
                        ": is a FIFO; a WAV file needs a regular file (--raw writes raw "
                        "samples into it)");
    // A WAV file to a null device that cannot seek goes nowhere by itself.
    nowhere_ = kind == sys::Kind::Null && format == Format::Wav;
    if (!nowhere_) {
        fd_ = target_.open(format == Format::Wav);
        ownsFd_ = target_.ownsFd();
    }
    if (format == Format::Wav) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = headerFormat();
        // Only a file of its own can change its format later.
        growable_ =
            (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && !target_.temporary().empty();
        errno = 0;
        static SF_VIRTUAL_IO nowhereIo = nowhereFunctions<Nowhere>();
        file_ = nowhere_ ? sf_open_virtual(&nowhereIo, SFM_WRITE, &info, &nowhereFile_)
                         : sf_open_fd(fd_, SFM_WRITE, &info, ownsFd_ ? SF_TRUE : SF_FALSE);
        if (!file_) {
            const int error = errno;
            std::string reason = sf_strerror(nullptr);
            if (error != 0) reason = std::strerror(error);
            if (ownsFd_ && fd_ >= 0) close(fd_);
            fd_ = -1;
            throw FileError(named(path) + ": cannot write the WAV file (" + reason + ")");
        }
        fd_ = -1;  // libsndfile owns it now
        if (!target_.temporary().empty()) pending_.reserve(2 * kChunkValues);
    }
}

int OutputFile::headerFormat() const {
    auto endsWith = [this](const char* ending) {
        const std::string e(ending);
        return path_.size() > e.size() &&
               std::equal(e.rbegin(), e.rend(), path_.rbegin(), [](char a, char b) {
                   return a == std::tolower(static_cast<unsigned char>(b));
               });
    };
    if (endsWith(".w64")) return SF_FORMAT_W64 | SF_FORMAT_PCM_16;
    if (endsWith(".rf64")) return SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
    return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
}

namespace {
// The header libsndfile gives an RF64 file of 16-bit samples with nothing in
// it, so that a grown file is what it would have written from the start.
std::vector<unsigned char> emptyRf64Header(int rate, int channels) {
    struct Memory {
        std::vector<unsigned char> bytes;
        sf_count_t at = 0;
    } memory;
    SF_VIRTUAL_IO io{};
    io.get_filelen = [](void* m) {
        return static_cast<sf_count_t>(static_cast<Memory*>(m)->bytes.size());
    };
    io.seek = [](sf_count_t offset, int whence, void* data) {
        auto* m = static_cast<Memory*>(data);
        const auto end = static_cast<sf_count_t>(m->bytes.size());
        m->at = offset + (whence == SEEK_CUR ? m->at : whence == SEEK_END ? end : 0);
        return m->at;
    };
    io.read = [](void*, sf_count_t, void*) { return sf_count_t{0}; };
    io.write = [](const void* from, sf_count_t count, void* data) {
        auto* m = static_cast<Memory*>(data);
        const auto end = static_cast<size_t>(m->at + count);
        if (end > m->bytes.size()) m->bytes.resize(end);
        std::memcpy(m->bytes.data() + m->at, from, static_cast<size_t>(count));
        m->at += count;
        return count;
    };
    io.tell = [](void* m) { return static_cast<Memory*>(m)->at; };
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &memory);
    if (file) sf_close(file);
    return memory.bytes;
}

// Where its 64-bit sizes stand: the RIFF size, the data size, the frames.
constexpr size_t kRf64Sizes[] = {20, 28, 36};

void putLittle64(unsigned char* at, uint64_t value) {
    for (int i = 0; i < 8; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

// A WAV file's sizes would wrap: it becomes RF64 where it is. Its samples move
// up by what the larger header needs (working from the end, so that only
// those few bytes more are needed on the disk), the header goes in front, and
// the rest of the samples are appended; commit() settles the sizes.
void OutputFile::becomeRf64() {
    growable_ = false;
    errno = 0;
    if (sf_close(file_) != 0) {
        file_ = nullptr;
        fail(errno != 0 ? std::strerror(errno) : "cannot finish the WAV file", errno);
        return;
    }
    file_ = nullptr;
    constexpr int64_t kWavHeader = 44;
    rf64Header_ = emptyRf64Header(rate_, channels_);
    const int fd = sys::openToUpdate(target_.temporary());
    const int64_t size = fd >= 0 ? sys::seekToEnd(fd) : -1;
    if (rf64Header_.size() < static_cast<size_t>(kWavHeader) || size < kWavHeader) {
        const int error = errno != 0 ? errno : EIO;
        if (fd >= 0) close(fd);
        fail(std::strerror(error), error);
        return;
    }
    const int64_t shift = static_cast<int64_t>(rf64Header_.size()) - kWavHeader;
    rf64Data_ = size - kWavHeader;
    std::vector<unsigned char> chunk(1 << 20);
    bool moved = true;
    for (int64_t end = kWavHeader + rf64Data_; moved && end > kWavHeader;) {
        const int64_t from = std::max(kWavHeader, end - static_cast<int64_t>(chunk.size()));
        const auto count = static_cast<size_t>(end - from);
        const int64_t got = sys::readAt(fd, chunk.data(), count, from);
        moved = got == static_cast<int64_t>(count) &&
                sys::writeAt(fd, chunk.data(), count, from + shift);
        if (got >= 0 && got != static_cast<int64_t>(count)) errno = EIO;
        end = from;
    }
    // The rest of the samples go after these.
    if (moved)
        moved =
            sys::writeAt(fd, rf64Header_.data(), rf64Header_.size(), 0) && sys::seekToEnd(fd) >= 0;
    if (!moved) {
        const int error = errno != 0 ? errno : EIO;
        close(fd);
        fail(std::strerror(error), error);
        return;
    }
    fd_ = fd;
    ownsFd_ = true;
    notice();
}

void OutputFile::notice() const {
    std::fprintf(stderr,
                 "tarnix-file: %s: more samples than a WAV file holds (4 GiB); written as RF64, "
                 "a WAV file with 64-bit sizes\n",
                 named(path_).c_str());
}

OutputFile::~OutputFile() {
    if (file_) sf_close(file_);
    if (fd_ >= 0 && ownsFd_) close(fd_);
    // target_ removes the temporary file unless committed.
}

void OutputFile::fail(const std::string& reason, int error) {
    if (!error_.empty()) return;
    error_ = reason;
    errorCode_ = error;
    readerGone_ = error == EPIPE;
    if (onFailure) onFailure();
}

bool OutputFile::writeRaw(const int16_t* values, int64_t count) {
    bytes_.resize(static_cast<size_t>(count) * 2);
    for (int64_t i = 0; i < count; ++i) {
        const auto v = static_cast<uint16_t>(values[i]);
        bytes_[2 * i] = static_cast<unsigned char>(v & 0xFF);
        bytes_[2 * i + 1] = static_cast<unsigned char>(v >> 8);
    }
    size_t done = 0;
    while (done < bytes_.size()) {
        const ssize_t n = ::write(fd_, bytes_.data() + done, bytes_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        // A descriptor set not to block (by whoever shares it) is waited for.
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (sys::waitForOutput(fd_, 250) >= 0 || errno == EINTR) continue;
        }
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            fail(std::strerror(error), error);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

void OutputFile::write(const int16_t* values, size_t count) {
    if (!error_.empty()) return;
    // Work in frames: skip and limit apply to whole frames.
    const int64_t perFrame = channels_;
    int64_t first = 0;
    const int64_t total = static_cast<int64_t>(count);
    const int64_t skipValues = skip_ * perFrame;
    if (seen_ < skipValues) first = std::min(total, skipValues - seen_);
    seen_ += total;
    int64_t n = total - first;
    if (frames_ >= 0) n = std::min(n, (frames_ - written_) * perFrame);
    if (n <= 0) return;
    for (int64_t i = 0; i < n; ++i)
        peak_ = std::max(peak_, std::abs(int(values[first + i])));
    if (format_ == Format::Raw) {
        if (!writeRaw(values + first, n)) return;
    } else {
        pending_.insert(pending_.end(), values + first, values + first + n);
        if (target_.temporary().empty() || pending_.size() >= kChunkValues) writePending();
        if (!error_.empty()) return;
    }
    written_ += n / perFrame;
    if (onProgress) onProgress(written_);
}

void OutputFile::writePending() {
    if (pending_.empty() || !error_.empty()) return;
    const auto n = static_cast<sf_count_t>(pending_.size());
    if (growable_ && wavBytes_ + 2 * n > wavLimit_) becomeRf64();
    if (!error_.empty()) return;
    wavBytes_ += 2 * n;
    if (!file_) {
        // An RF64 file grown from a WAV file: its samples as they are.
        if (writeRaw(pending_.data(), n)) rf64Data_ += 2 * n;
        pending_.clear();
        return;
    }
    errno = 0;
    if (sf_write_short(file_, pending_.data(), n) != n) {
        const int error = errno;
        fail(error != 0 ? std::strerror(error) : sf_strerror(file_), error);
    }
    pending_.clear();
}

void OutputFile::commit() {
    if (format_ == Format::Wav) writePending();
    if (error_.empty() && !rf64Header_.empty() && fd_ >= 0) {
        // The grown file's sizes, now that they are known.
        const auto header = static_cast<int64_t>(rf64Header_.size());
        putLittle64(&rf64Header_[kRf64Sizes[0]], static_cast<uint64_t>(header + rf64Data_ - 8));
        putLittle64(&rf64Header_[kRf64Sizes[1]], static_cast<uint64_t>(rf64Data_));
        putLittle64(&rf64Header_[kRf64Sizes[2]], static_cast<uint64_t>(rf64Data_ / 2 / channels_));
        if (!sys::writeAt(fd_, rf64Header_.data(), rf64Header_.size(), 0))
            fail(std::strerror(errno), errno);
    }
    if (!error_.empty())
        throw FileError(named(path_) + ": cannot write it (" + error_ + ")" +
                        (errorCode_ == EFBIG ? ": the file-size limit was reached" : ""));
    if (file_) {
        errno = 0;
        const int closed = sf_close(file_);
        file_ = nullptr;
        if (closed != 0)
            throw FileError(named(path_) + ": cannot write it (" +
                            (errno != 0 ? std::strerror(errno) : sf_error_number(closed)) + ")");
    } else if (fd_ >= 0 && ownsFd_) {
        const int closed = close(fd_);
        fd_ = -1;
        if (closed != 0) throw FileError(named(path_) + ": cannot write it" + why(errno));
    }
    target_.commit();
    committed_ = true;
}

}  // namespace cli
