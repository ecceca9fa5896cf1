// The peer the benchmarks measure Tarnix against: SpeexDSP's preprocessor,
// denoise only (no gain control or dereverberation; voice detection is off by default), with
// 128-sample frames and a noise suppression of -30 dB unless told otherwise.
// Reads a 16-bit wav (the first channel), writes a mono 16-bit wav of the
// same rate. A last partial frame is padded with silence and cut again.
//
//   speex_denoise INPUT.wav OUTPUT.wav [--frame N] [--suppress DB]
#include <sndfile.h>
#include <speex/speex_preprocess.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int usage() {
    std::fprintf(stderr, "usage: speex_denoise INPUT.wav OUTPUT.wav [--frame N] [--suppress DB]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    int frame = 128;
    int suppress = -30;
    for (int i = 3; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--frame") && i + 1 < argc)
            frame = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--suppress") && i + 1 < argc)
            suppress = std::atoi(argv[++i]);
        else
            return usage();
    }
    if (frame <= 0 || frame > 65536) return usage();

    SF_INFO in{};
    SNDFILE* source = sf_open(argv[1], SFM_READ, &in);
    if (!source) {
        std::fprintf(stderr, "speex_denoise: %s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    SF_INFO out{};
    out.samplerate = in.samplerate;
    out.channels = 1;
    out.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* target = sf_open(argv[2], SFM_WRITE, &out);
    if (!target) {
        std::fprintf(stderr, "speex_denoise: %s: %s\n", argv[2], sf_strerror(nullptr));
        sf_close(source);
        return 1;
    }

    SpeexPreprocessState* st = speex_preprocess_state_init(frame, in.samplerate);
    int on = 1, off = 0;
    speex_preprocess_ctl(st, SPEEX_PREPROCESS_SET_DENOISE, &on);
    speex_preprocess_ctl(st, SPEEX_PREPROCESS_SET_NOISE_SUPPRESS, &suppress);
    speex_preprocess_ctl(st, SPEEX_PREPROCESS_SET_AGC, &off);
    speex_preprocess_ctl(st, SPEEX_PREPROCESS_SET_DEREVERB, &off);

    std::vector<short> interleaved(static_cast<size_t>(frame) * in.channels);
    std::vector<spx_int16_t> mono(static_cast<size_t>(frame));
    for (;;) {
        const sf_count_t got = sf_readf_short(source, interleaved.data(), frame);
        if (got <= 0) break;
        for (int i = 0; i < frame; ++i)
            mono[i] = i < got ? interleaved[static_cast<size_t>(i) * in.channels] : 0;
        speex_preprocess_run(st, mono.data());
        sf_writef_short(target, mono.data(), got);
        if (got < frame) break;
    }
    speex_preprocess_state_destroy(st);
    sf_close(source);
    return sf_close(target) == 0 ? 0 : 1;
}
