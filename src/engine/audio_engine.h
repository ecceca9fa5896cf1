// The one audio engine: device and stream state, every sample buffer, the
// block and frame bookkeeping, the transform and the per-bin state of the
// spectral filter. It owns all audio memory as fixed-size members, so nothing
// is allocated while audio flows.
#pragma once

#include <cstdint>

#include "dsp/fft.h"
#include "dsp/fir_filter.h"
#include "dsp/linear_combiner.h"
#include "dsp/lms_filter.h"
#include "dsp/noise_blanker.h"
#include "engine/constants.h"
#include "engine/enhancement.h"
#include "engine/frame_lanes.h"
#include "engine/input_level.h"
#include "engine/spectral_state.h"
#include "engine/stream_state.h"
#include "platform/host.h"
#include "platform/wave.h"

namespace engine {

// The time-domain filters of the input conditioning. They live from start-up
// to exit and are never reset; a program holds one static instance.
struct InputFilters {
    Prefilters prefilters;
    CLmsFilter lms;
    CLinearCombiner combiner;
    double exponentialMemory = 0.0;  // the exponential filter's last output
};

// Designs the prefilters for the chosen rate; every program calls this once
// the rate is known.
// A filter that cannot allocate its arrays shows a box through the host.
void designInputFilters(InputFilters& filters, uint32_t sampleRate,
                        platform::Host& host = platform::host());

// The 16-bit PCM format of a device: block align and byte rate follow from
// the channels.
platform::WAVEFORMATEX pcmFormat(uint16_t channels, int32_t sampleRate);
// Fills a buffer header for a data area of `bytes` bytes; the user data holds
// the buffer's index.
void fillHeader(platform::WAVEHDR& header, void* data, uint32_t bytes, uint32_t index);

// Band operation codes.
enum BandCode : uint32_t {
    kBandPass = 1,
    kBandStop = 2,
    kBandVoiceNarrow = 3,
    kBandVoiceMiddle = 4,
    kBandVoiceWide = 5,
    kBandMusicNarrow = 6,
    kBandMusicWide = 7,
    kBandNotchNarrow = 9,
    kBandNotchWide = 10,
    kBandStopBelow100 = 11,
    kBandStopBelow200 = 12,
    kBandStopBelow300 = 13,
    kBandStopAbove3000 = 14,
    kBandStopAbove4000 = 15,
    kBandStopAbove5000 = 16,
    kBandStopAbove6000 = 17,
};

}  // namespace engine

// The engine: the device side's state, the spectral filter's state and the
// frame pipeline's arrays, with the operations on them.
class CAudioEngine : public engine::StreamState, public engine::SpectralState {
  public:
    // Defined out of line: every member has its initializer, and a
    // value-initialised engine (make_unique) then clears its megabyte once,
    // not twice.
    CAudioEngine();
    virtual ~CAudioEngine() = default;
    CAudioEngine(const CAudioEngine&) = delete;
    CAudioEngine& operator=(const CAudioEngine&) = delete;

    // Connects the devices, the automatic input level and the input filters.
    // Called once before startup; none of them is owned.
    // The host is the one the engine shows its boxes through and posts its quit
    // message to; without one, the process's host.
    void attach(platform::WaveIn* in, platform::WaveOut* out, engine::InputLevel* level,
                engine::InputFilters* filters, platform::Host* host = nullptr);
    platform::Host& host() const { return host_ ? *host_ : platform::host(); }

    // Start-up and shutdown.
    void startup(platform::MessageTarget* window, int32_t rate, uint32_t stereo);
    void openDevices(platform::MessageTarget* window);
    void closeDevices();
    bool onWaveMessage(platform::MessageTarget* window, uint32_t message, uintptr_t wParam,
                       intptr_t lParam);

    // Capture.
    bool openWaveIn();
    bool queueCapture(uint32_t i);
    void closeWaveIn();

    // Playback and the output pump.
    bool openWaveOut();
    bool queuePlayback();
    void pumpOutput();
    void regulateOutput();
    void closeWaveOut();

    // The streaming path: each captured hop is conditioned into the ring at
    // once, each frame is processed as soon as its input is in, and each
    // output hop is played as soon as it is final.
    bool lowLatency() const { return latencyMode == engine::LatencyMode::Low; }
    // The samples of one capture buffer: a block, or a hop when streaming.
    uint32_t captureLength() const { return lowLatency() ? hop : blockLength; }
    void captureHop(uint32_t i);
    void pumpStream();
    bool queueHop();
    void returnCaptures();
    // One frame of the streaming path; a test engine stands another spectral
    // stage in, as it does for processBlock.
    virtual void processFrame();

    // The block pipeline.
    virtual void processBlock();
    void readFrame(double* destination, uint32_t count);
    void advanceRead(uint32_t step);
    void overlapAdd(const double* first, const double* second, uint32_t count, int32_t divisor);
    void advanceWrite(uint32_t step);

    // The spectral filter.
    void filterSpectrum();
    engine::Enhancement enhancement;
    void updateEqualizer();

    // Input conditioning: a whole captured block into its ring slot, or a
    // run of captured samples anywhere (the filters run sample by sample in
    // order either way, so any split gives the same values).
    void conditionInput(uint32_t i);
    void conditionSamples(const int16_t* captured, double* x, uint32_t length);

    // Band mask and minimum amplitudes, as the menus and the selection edit them.
    void applyBandOperation(uint32_t code, uint32_t low, uint32_t high);
    void setAllMinimumAmplitudes(double value);
    void shiftAllMinimumAmplitudes(double delta);

    // Option switches.
    uint32_t lmsFilterOn = 0;
    uint32_t linearCombinerOn = 0;
    uint32_t voicePrefilterOn = 0;
    uint32_t musicPrefilterOn = 0;
    double exponentialFactor = 0.0;
    // The noise blanker, first of the input's stages; off, it is not run.
    uint32_t blankerOn = 0;
    CNoiseBlanker blanker;
    // The samples the enabled input stages delay the signal by.
    uint32_t inputDelay() const { return blankerOn ? blanker.delay() : 0; }

    // The capture slot after `slot` that is still in circulation.
    uint32_t nextCaptureSlot(uint32_t slot) const;

  protected:
    // How many bins of each analysed spectrum a spectral stage reads: the
    // filter only the half spectrum below the mirror (it writes the mirror
    // half itself), and the Nyquist bin, which the enhancement's exact
    // synthesis keeps.
    static constexpr uint32_t kAnalysedBins = engine::kBins + 4;
    // The frames of one block with a given spectral stage; the product runs
    // filterSpectrum, a test may stand in another stage.
    template <class Self, void (Self::*Stage)()>
    void runBlockWith();
    // One frame on its own, for the streaming path.
    template <class Self, void (Self::*Stage)()>
    void runFrameWith();
    // The inverse transforms of the staged frames (the real parts only: the
    // first channel's land in the stage's real rows, the second's in its
    // imaginary rows), and the overlap-add of one of them into the output.
    void inverseTransforms();
    void addFrameOutput(uint32_t lane);
    void resetStream();
    void filterInput(double* x, uint32_t length);

    void reportWaveError(platform::MMRESULT code, const char* caption);
    bool deviceFailed(platform::MMRESULT code, const char* call);
    void silenceBin(uint32_t j);
    void releaseNotch(uint32_t k);
    bool heterodyneReduction(uint32_t k, double m);
    void standingBins(const double* passes, const double* level, uint64_t* writes);
    // The per-bin and per-sample work is compiled once for the baseline and
    // once for AVX2 from the same inline bodies; filterSpectrum and
    // overlapAdd pick one.
    void filterSpectrumBaseline();
    void filterSpectrumAvx2();
    void filterSpectrumBody();
    void clearOutsideBand(uint32_t lo, uint32_t hi);
    void levelsAndFirstPass(uint32_t slot, const double* newest, uint32_t lo, uint32_t hi);
    void expandorAndGate(uint64_t* writes, double* level, uint32_t lo, uint32_t hi);
    void overlapAddBaseline(const double* first, const double* second, uint32_t count,
                            int32_t divisor);
    void overlapAddAvx2(const double* first, const double* second, uint32_t count, int32_t divisor);
    void overlapAddBody(const double* first, const double* second, uint32_t count, int32_t divisor);
    void standingBinsBody(const double* passes, const double* level, uint64_t* writes);
    void writeOutputs(const uint64_t* writes, const double* level);
    void filterEnhanced();
    void filterEnhancedBaseline();
    void filterEnhancedAvx2();
    void filterEnhancedBody();
    void enhancedOverlapAdd(const double* first, const double* second);

    engine::InputLevel* inputLevel_ = nullptr;
    engine::InputFilters* filters_ = nullptr;
    platform::Host* host_ = nullptr;
    engine::FrameLanes lanes_;
};
