// Prints the magnitude response of the voice and music prefilters at a rate,
// measured by running a unit impulse through the real filters.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "dsp/fft.h"
#include "dsp/fir_filter.h"

namespace {

constexpr uint32_t kPoints = 4096;

std::vector<double> magnitudeDb(const std::vector<double>& impulse, const CFft& fft) {
    std::vector<double> re(kPoints), im(kPoints);
    fft.transform(kPoints, 0, impulse.data(), nullptr, re.data(), im.data());
    std::vector<double> db(kPoints / 2);
    for (uint32_t k = 0; k < kPoints / 2; ++k) {
        const double m = std::sqrt(re[k] * re[k] + im[k] * im[k]);
        db[k] = 20.0 * std::log10(m > 1e-12 ? m : 1e-12);
    }
    return db;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf(
            "usage: tarnix-prefilter-response [RATE]\n"
            "Prints the voice and music prefilter responses at RATE Hz "
            "(8000, 11025, 22050 or 44100; default 11025).\n");
        return 0;
    }
    const long rate = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 11025;
    if (rate != 8000 && rate != 11025 && rate != 22050 && rate != 44100) {
        std::fprintf(stderr, "tarnix-prefilter-response: unsupported rate '%s'\n", argv[1]);
        return 2;
    }

    Prefilters filters;
    designPrefilters(filters, static_cast<uint32_t>(rate));
    CFft fft;
    fft.initialize(kPoints);

    std::vector<double> voice(kPoints), music(kPoints);
    for (uint32_t i = 0; i < kPoints; ++i) {
        const double x = i == 0 ? 1.0 : 0.0;
        voice[i] = filters.voice(x);
        music[i] = filters.music.filter(x);
    }
    const auto voiceDb = magnitudeDb(voice, fft);
    const auto musicDb = magnitudeDb(music, fft);

    std::printf("Prefilter response at %ld Hz (dB)\n%8s %8s %8s\n", rate, "Hz", "voice", "music");
    for (double f : {50.0, 100.0, 200.0, 400.0, 800.0, 1000.0, 1300.0, 2000.0, 3000.0, 4000.0,
                     4400.0, 4800.0, 5000.0}) {
        if (f >= rate / 2.0) break;
        const auto k = static_cast<uint32_t>(std::lround(f * kPoints / rate));
        std::printf("%8.0f %8.1f %8.1f\n", f, voiceDb[k], musicDb[k]);
    }
    return 0;
}
