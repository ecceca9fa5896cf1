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
#include "engine/input_level.h"
#include "platform/host.h"
#include "platform/wave.h"

namespace engine {

inline constexpr uint32_t kBufferCount = 10;
inline constexpr uint32_t kSlotCapacity = 4096;
inline constexpr uint32_t kSpectrumSlots = 3;
inline constexpr uint32_t kFftSize = 1024;
inline constexpr uint32_t kBins = kFftSize / 2;
// Frames overlap by three quarters; the filter works on the frame two hops
// back, so every output sample leaves the pipeline kPipelineDelay samples
// after its input sample entered.
inline constexpr uint32_t kHop = kFftSize / 4;
inline constexpr uint32_t kPipelineDelay = 2 * kHop;
// The sampling rates the engine runs at.
inline constexpr int32_t kMinSampleRate = 8000;
inline constexpr int32_t kMaxSampleRate = 48000;
// Captured blocks that must wait before the output pump processes the oldest;
// a stream that feeds the engine block by block is delayed by this many.
inline constexpr uint32_t kBlocksNeeded = 3;
// The samples of one capture or playback block at a rate: about a fifth of a
// second at the lower rates, a tenth at the higher.
constexpr uint32_t blockLengthFor(int32_t sampleRate) {
    return sampleRate < 22050 ? 2048 : 4096;
}

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
void designInputFilters(InputFilters& filters, uint32_t sampleRate);

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

class CAudioEngine {
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
    void attach(platform::WaveIn* in, platform::WaveOut* out, engine::InputLevel* level,
                engine::InputFilters* filters);

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

    // The block pipeline.
    virtual void processBlock();
    void readFrame(double* destination, uint32_t count);
    void advanceRead(uint32_t step);
    void overlapAdd(const double* first, const double* second, uint32_t count, int32_t divisor);
    void advanceWrite(uint32_t step);

    // The spectral filter.
    void filterSpectrum();
    void updateEqualizer();

    // Input conditioning.
    void conditionInput(uint32_t i);

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

    // Device and stream state.
    platform::MessageTarget* callbackWindow = nullptr;
    int32_t sampleRate = 0;
    uint32_t simulatedStereo = 0;
    uint32_t blockLength = 0;
    platform::WaveIn* inputDevice = nullptr;
    platform::WaveOut* outputDevice = nullptr;
    uint32_t inputOpen = 0;
    uint32_t outputOpen = 0;
    platform::WAVEHDR captureHeaders[engine::kBufferCount] = {};
    platform::WAVEHDR playbackHeaders[engine::kBufferCount] = {};
    char errorText[256] = {};
    uint32_t closing = 0;
    int32_t inputPeak = 0;
    int32_t outputQueued = 0;
    int16_t captureBuffers[engine::kBufferCount][engine::kSlotCapacity] = {};
    double inputRing[engine::kBufferCount][engine::kSlotCapacity] = {};
    int16_t outputRing[engine::kBufferCount][engine::kSlotCapacity] = {};

    // Block and frame bookkeeping.
    uint32_t processSlot = 0;
    uint32_t outputSlot = 0;
    uint32_t pendingBlocks = 0;
    uint32_t readSlot = 0;
    uint32_t writeSlot = 0;
    uint32_t readNextSlot = 0;
    uint32_t writeNextSlot = 0;
    uint32_t readPos = 0;
    uint32_t writePos = 0;
    uint32_t readFrameStart = 0;
    uint32_t writeFrameStart = 0;

    // Analysis, synthesis and spectral filter state.
    uint32_t binLow = 0;
    uint32_t binHigh = 0;
    uint32_t binCount = 0;
    uint32_t showPeaks = 0;
    uint32_t averagingOn = 0;
    uint32_t expandorOn = 0;
    uint32_t equalizerOn = 0;
    double noiseFloorFactor = 0.0;
    uint32_t heterodyneMode = 0;
    uint32_t analysisSlot = 0;
    uint32_t synthesisSlot = 0;
    uint32_t frameCount = 0;
    uint32_t heterodyneCounters[engine::kBins] = {};
    double peakSpectrum[engine::kBins] = {};
    double equalizerSum[engine::kBins] = {};
    double displaySum[engine::kBins] = {};
    double window[engine::kFftSize] = {};
    // The spectra of the last frames and the filter's output for one frame.
    // While blocks are processed they point into the pipeline's stage arrays,
    // so that no frame is copied; before that at zeroed storage of their own.
    double* spectrumRe[engine::kSpectrumSlots] = {spectrumStore_[0], spectrumStore_[1],
                                                  spectrumStore_[2]};
    double* spectrumIm[engine::kSpectrumSlots] = {spectrumStore_[3], spectrumStore_[4],
                                                  spectrumStore_[5]};
    double* synthRe = synthStore_[0];
    double* synthIm = synthStore_[1];
    double magnitude[engine::kSpectrumSlots][engine::kBins] = {};
    double* secondSynthRe = synthStore_[2];
    double* secondSynthIm = synthStore_[3];
    double floorAverage[engine::kBins] = {};
    double binFrequency[engine::kBins] = {};
    double minimumAmplitude[engine::kBins] = {};
    double equalizerGain[engine::kBins] = {};
    uint32_t bandMask[engine::kBins] = {};

    // Transform state.
    uint32_t fftSize = 0;
    uint32_t halfSize = 0;
    uint32_t indexMask = 0;
    uint32_t frameLength = 0;
    uint32_t hop = 0;
    CFft fft;

    // Set while the playback device has been paused and not restarted since.
    // The program has one engine, so keeping it here is the same as a global.
    uint32_t outputPaused = 1;

    // Capture buffers that could not be given back to the device while
    // streaming (bit i: buffer i). Their ring slots hold stale audio, so the
    // pump steps over them instead of playing a block a second time.
    uint32_t retiredCaptureSlots = 0;
    // The capture slot after `slot` that is still in circulation.
    uint32_t nextCaptureSlot(uint32_t slot) const;

  protected:
    // How many bins of each analysed spectrum a spectral stage reads: the
    // filter only the half spectrum below the mirror (it writes the mirror
    // half itself).
    static constexpr uint32_t kAnalysedBins = engine::kBins;
    // The frames of one block with a given spectral stage; the product runs
    // filterSpectrum, a test may stand in another stage.
    template <class Self, void (Self::*Stage)()>
    void runBlockWith();

    void reportWaveError(platform::MMRESULT code, const char* caption);
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
    void overlapAddBaseline(const double* first, const double* second, uint32_t count,
                            int32_t divisor);
    void overlapAddAvx2(const double* first, const double* second, uint32_t count, int32_t divisor);
    void overlapAddBody(const double* first, const double* second, uint32_t count, int32_t divisor);
    void standingBinsBody(const double* passes, const double* level, uint64_t* writes);
    void writeOutputs(const uint64_t* writes, const double* level);

    engine::InputLevel* inputLevel_ = nullptr;
    engine::InputFilters* filters_ = nullptr;

    // The frames of a block are transformed kLanes at a time, side by side.
    // Frames go through the stage arrays one after the other (frame l at
    // l * kFftSize) and through the lane arrays in the transform's layout.
    // The spectra alternate between two sets, as the filter still reads the
    // frames two back from the batch before.
    static constexpr uint32_t kLaneValues = engine::kFftSize * CFft::kLanes;
    alignas(64) double stageSpectraRe_[2][kLaneValues] = {};
    alignas(64) double stageSpectraIm_[2][kLaneValues] = {};
    uint32_t stageSet_ = 0;
    // The filter's outputs; the frames read and the inverse transforms'
    // results pass through them too.
    alignas(64) double stageRe_[kLaneValues] = {};
    alignas(64) double stageIm_[kLaneValues] = {};
    alignas(64) double stageSecondRe_[kLaneValues] = {};
    alignas(64) double stageSecondIm_[kLaneValues] = {};
    double spectrumStore_[2 * engine::kSpectrumSlots][engine::kFftSize] = {};
    double synthStore_[4][engine::kFftSize] = {};
    // The filter slot's processed magnitudes, and 1.0 or 0.0 for whether each
    // bin passed the gates (doubles, so that the loops take vectors).
    alignas(64) double filterLevel_[engine::kBins] = {};
    alignas(64) double filterPasses_[engine::kBins] = {};
    // The transforms work on a real and an imaginary array at once, at the
    // same offsets in both; arrays whose distance is a multiple of 4 KB put
    // those values into the same cache sets, which then overflow. The gap
    // sets the imaginary arrays 2 KB off their real ones (lanesIn_ and
    // lanesWork_ are the inverse's pair).
    alignas(64) double lanesIn_[kLaneValues] = {};
    alignas(64) double lanesRe_[kLaneValues] = {};
    double lanesGap_[256] = {};
    alignas(64) double lanesIm_[kLaneValues] = {};
    // Work space of the inverse transforms, whose imaginary outputs nobody reads.
    alignas(64) double lanesWork_[kLaneValues] = {};
};
