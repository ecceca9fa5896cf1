// Streaming audio file input and output for the file tool: the input mixed
// down to 16-bit mono as the capture device delivers it, and the played
// stream trimmed to the input's alignment and written to a temporary file
// that replaces OUTPUT only on success.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/sim/sim_wave.h"

namespace file_tool {

// Thrown with a one-line message naming the file and what is wrong.
struct FileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class InputFile final : public sim::SampleSource {
  public:
    // Opens and checks the file; throws FileError.
    explicit InputFile(const std::string& path);
    ~InputFile() override;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    int rate() const { return info_.samplerate; }
    int channels() const { return info_.channels; }
    int64_t frames() const { return info_.frames; }

    // After the file's own samples, zeros up to `total` samples in all.
    void setTotal(int64_t total) { total_ = total; }
    size_t read(int16_t* samples, size_t count) override;

    int peak() const { return peak_; }
    int64_t delivered() const { return delivered_; }

  private:
    std::string path_;
    SNDFILE* file_ = nullptr;
    SF_INFO info_{};
    int64_t total_ = 0;
    int64_t delivered_ = 0;
    bool ended_ = false;
    int peak_ = 0;
    std::vector<short> interleaved_;
};

class OutputFile final : public sim::SampleSink {
  public:
    // Creates a temporary file beside path; throws FileError.
    OutputFile(const std::string& path, int rate, int channels, int64_t frames, int64_t skip);
    ~OutputFile() override;  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Drops the first `skip` frames of the played stream, writes the next
    // `frames` frames and ignores the rest.
    void write(const int16_t* values, size_t count) override;
    bool complete() const { return written_ == frames_; }
    int64_t written() const { return written_; }
    int peak() const { return peak_; }
    // Closes the temporary file and renames it over the output; throws FileError.
    void commit();

    std::function<void(int64_t written, int64_t total)> onProgress;

  private:
    std::string path_, temp_;
    SNDFILE* file_ = nullptr;
    int channels_;
    int64_t frames_, skip_;
    int64_t seen_ = 0;  // values of the played stream seen so far
    int64_t written_ = 0;
    int peak_ = 0;
    bool failed_ = false;
    bool committed_ = false;
};

// Whether two paths name the same file (also through links or other spellings).
bool sameFile(const std::string& a, const std::string& b);

}  // namespace file_tool
