// Audio files in and out for the programs that run the engine on them: the
// input mixed down to 16-bit mono as the capture device delivers it, and the
// played stream trimmed to the input's alignment. A regular OUTPUT is written to a
// temporary file that replaces it only on success; a device or FIFO is
// written directly and never replaced.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/cli/output_target.h"
#include "engine/audio_engine.h"
#include "platform/offline/file_devices.h"

namespace cli {

// Output sample n is the engine's output sample n + kPipelineDelay, and the
// input stages' delay when they have one.
inline constexpr int64_t kPipelineDelay = engine::kPipelineDelay;

// The input's samples, then silence until every one of them has come out of
// the pipeline. Its length is what the file holds, whatever its header says.
class InputFile final : public offline::SampleSource {
  public:
    // Opens and checks an audio file; throws FileError.
    explicit InputFile(const std::string& path);
    // Raw signed 16-bit little-endian mono samples from a descriptor.
    InputFile(int fd, int rate, const std::string& name);
    ~InputFile() override;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    int rate() const { return rate_; }
    // The length the header declares, when it declares a believable one.
    std::optional<int64_t> declaredFrames() const { return declared_; }
    const std::string& name() const { return name_; }

    // The length of a captured block, which decides how much silence follows.
    void setBlockLength(int64_t blockLength) { blockLength_ = blockLength; }
    // The samples from an input sample to its output sample (kPipelineDelay
    // and the input stages' delay), which also decides it.
    void setDelay(int64_t delay) { delay_ = delay; }
    size_t read(int16_t* samples, size_t count) override;

    // Frames read so far; all of the input's once ended() is true.
    int64_t frames() const { return frames_; }
    // Samples handed out so far, the silence after the input included.
    int64_t delivered() const { return delivered_; }
    // At least this many samples in all, silence after the input's own
    // (for a picture after a set time of audio).
    void setMinimumTotal(int64_t samples) { minimumTotal_ = samples; }
    bool ended() const { return ended_; }
    // Called once, when the input's own samples have run out.
    std::function<void(int64_t frames)> onEnd;
    int peak() const { return peak_; }

  private:
    size_t readAudio(int16_t* samples, size_t count);
    size_t readRaw(int16_t* samples, size_t count);
    sf_count_t readFloating();
    void end();

    std::string name_;
    SNDFILE* file_ = nullptr;
    SF_INFO info_{};
    int fd_ = -1;  // raw input
    int rate_ = 0;
    std::optional<int64_t> declared_;
    int64_t blockLength_ = 4096;
    int64_t delay_ = kPipelineDelay;
    int64_t frames_ = 0;
    int64_t total_ = 0;  // samples to deliver in all, once ended
    int64_t delivered_ = 0;
    int64_t minimumTotal_ = 0;
    bool ended_ = false;
    int peak_ = 0;
    // Audio is read ahead in chunks of about 64 KB, whatever the block.
    std::vector<short> interleaved_;
    bool floating_ = false;       // float or double samples, read scaled
    std::vector<double> floats_;  // their chunk before scaling
    size_t chunkFrames_ = 0;
    size_t bufferedAt_ = 0, bufferedEnd_ = 0;  // frames in interleaved_
    std::vector<unsigned char> bytes_;
    size_t pendingBytes_ = 0;
    int64_t stopLeft_ = -1;  // bytes still to take after a stop request
};

// The most sample bytes a WAV file holds: its sizes are 32-bit, counted
// from byte 8 of a 44-byte header (6.2 hours at 48000 Hz in stereo).
inline constexpr int64_t kWavMostDataBytes = 0xFFFFFFFFll - 36;

class OutputFile final : public offline::SampleSink {
  public:
    enum class Format { Wav, Raw };
    // Prepares OUTPUT ("-": standard output); throws FileError. A WAV OUTPUT
    // named .rf64 or .w64 is written in that format; one whose samples
    // outgrow a WAV file becomes RF64 then, with a notice (a header's length
    // is not trusted to decide it before). `wavLimit` lowers the limit for
    // tests.
    OutputFile(const std::string& path, Format format, int rate, int channels, int64_t skip,
               int64_t wavLimit = kWavMostDataBytes);
    ~OutputFile() override;  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Drops the first `skip` frames of the played stream, then writes frames
    // until the input's length, once known, is reached.
    void write(const int16_t* values, size_t count) override;
    void setFrames(int64_t frames) { frames_ = frames; }
    bool complete() const { return frames_ >= 0 && written_ == frames_; }
    int64_t written() const { return written_; }
    // The samples end up on standard output (messages must not go there).
    bool toStandardOutput() const { return target_.toStandardOutput(); }
    int peak() const { return peak_; }
    // The first write error (empty while there is none), and whether it was
    // the reader of a pipe going away.
    const std::string& error() const { return error_; }
    bool readerGone() const { return readerGone_; }
    // Finishes the file and puts it in place; throws FileError.
    void commit();

    std::function<void(int64_t written)> onProgress;
    std::function<void()> onFailure;  // once, at the first write error

  private:
    void fail(const std::string& why, int error);
    bool writeRaw(const int16_t* values, int64_t count);
    void writePending();
    void becomeRf64();
    void notice() const;
    int headerFormat() const;

    std::string path_;  // as given, for messages
    OutputTarget target_;
    int rate_;
    int64_t wavLimit_;
    int64_t wavBytes_ = 0;   // sample bytes handed to the WAV writer
    bool growable_ = false;  // a plain WAV that may still become RF64
    // Once grown: the RF64 header (its sizes settled at the end), and the
    // sample bytes written after it.
    std::vector<unsigned char> rf64Header_;
    int64_t rf64Data_ = 0;
    Format format_;
    SNDFILE* file_ = nullptr;
    int fd_ = -1;
    bool ownsFd_ = true;
    int channels_;
    int64_t frames_ = -1;  // unknown until the input has ended
    int64_t skip_;
    int64_t seen_ = 0;  // values of the played stream seen so far
    int64_t written_ = 0;
    int peak_ = 0;
    std::string error_;
    int errorCode_ = 0;
    bool readerGone_ = false;
    bool committed_ = false;
    // A WAV file to a null device that cannot seek goes nowhere by itself.
    bool nowhere_ = false;
    struct Nowhere {
        sf_count_t at = 0, length = 0;
    } nowhereFile_;
    std::vector<unsigned char> bytes_;
    // A file written through a temporary takes its samples in chunks of
    // about 64 KB; what is written in place (a device, a pipe) goes out
    // with every block.
    std::vector<int16_t> pending_;
};

}  // namespace cli
