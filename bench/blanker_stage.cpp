// The noise blanker on its own, for the quality benchmark: reads a 16-bit wav
// (the first channel), runs every sample through the stage and writes a mono
// 16-bit wav of the same rate, aligned to the input (the look-ahead taken
// off). With no other stage in the way, what changed is what the blanker did.
//
//   blanker_stage INPUT.wav OUTPUT.wav [--threshold X]
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "dsp/noise_blanker.h"

int main(int argc, char** argv) {
    if (argc != 3 && !(argc == 5 && !std::strcmp(argv[3], "--threshold"))) {
        std::fprintf(stderr, "usage: blanker_stage INPUT.wav OUTPUT.wav [--threshold X]\n");
        return 2;
    }
    SF_INFO in{};
    SNDFILE* source = sf_open(argv[1], SFM_READ, &in);
    if (!source) {
        std::fprintf(stderr, "blanker_stage: %s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    std::vector<short> frames(static_cast<size_t>(in.frames) * in.channels);
    sf_readf_short(source, frames.data(), in.frames);
    sf_close(source);

    auto blanker = std::make_unique<CNoiseBlanker>();
    blanker->configure(in.samplerate);
    if (argc == 5) blanker->setThreshold(std::atof(argv[4]));
    const size_t n = static_cast<size_t>(in.frames), delay = blanker->delay();
    std::vector<short> out(n);
    for (size_t i = 0; i < n + delay; ++i) {
        const double x = i < n ? frames[i * in.channels] : 0.0;
        const double y = blanker->process(x);
        if (i >= delay)
            out[i - delay] =
                static_cast<short>(std::lrint(std::fmax(-32768.0, std::fmin(32767.0, y))));
    }

    SF_INFO o{};
    o.samplerate = in.samplerate;
    o.channels = 1;
    o.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* target = sf_open(argv[2], SFM_WRITE, &o);
    if (!target) {
        std::fprintf(stderr, "blanker_stage: %s: %s\n", argv[2], sf_strerror(nullptr));
        return 1;
    }
    sf_writef_short(target, out.data(), static_cast<sf_count_t>(n));
    sf_close(target);
    std::fprintf(stderr, "blanker_stage: %llu clicks repaired\n",
                 static_cast<unsigned long long>(blanker->repaired()));
    return 0;
}
