// The noise blanker on its own, for the quality benchmark: reads a 16-bit wav
// (the first channel), runs every sample through the stage and writes a mono
// 16-bit wav of the same rate, aligned to the input (the look-ahead taken
// off). With no other stage in the way, what changed is what the blanker did.
// With --clicks it finds nothing itself but repairs the clicks the file
// lists ("FIRST LAST" a line, samples counted from 0, in order), to measure
// the repair apart from the detection.
//
//   blanker_stage INPUT.wav OUTPUT.wav [--threshold X] [--clicks FILE]
#include <sndfile.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "dsp/noise_blanker.h"

int main(int argc, char** argv) {
    const char* threshold = nullptr;
    const char* clickFile = nullptr;
    bool usage = argc < 3;
    for (int i = 3; !usage && i < argc; i += 2) {
        if (i + 1 >= argc)
            usage = true;
        else if (!std::strcmp(argv[i], "--threshold"))
            threshold = argv[i + 1];
        else if (!std::strcmp(argv[i], "--clicks"))
            clickFile = argv[i + 1];
        else
            usage = true;
    }
    if (usage) {
        std::fprintf(stderr,
                     "usage: blanker_stage INPUT.wav OUTPUT.wav [--threshold X] [--clicks FILE]\n");
        return 2;
    }
    std::vector<CNoiseBlanker::Gap> clicks;
    if (clickFile) {
        FILE* f = std::fopen(clickFile, "r");
        if (!f) {
            std::fprintf(stderr, "blanker_stage: %s: %s\n", clickFile, std::strerror(errno));
            return 1;
        }
        unsigned long long first, last;
        while (std::fscanf(f, "%llu %llu", &first, &last) == 2)
            clicks.push_back({first, last});
        std::fclose(f);
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
    if (threshold) blanker->setThreshold(std::atof(threshold));
    if (clickFile) blanker->takeClicksAsGiven(clicks.data(), static_cast<uint32_t>(clicks.size()));
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
