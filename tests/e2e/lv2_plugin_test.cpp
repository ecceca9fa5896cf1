// The LV2 plugins end to end: the built module loaded the way a host loads
// it, and Debian's lv2apply against tarnix-file on the demo.
#include <dlfcn.h>
#include <lv2/core/lv2.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

// Allocations made inside the plugin's run calls. The sanitizers replace the
// allocator themselves, so there the count stays off.
namespace {
bool countingAllocations = false;
[[maybe_unused]] long allocationsInRun = 0;
}  // namespace

#ifndef TARNIX_SANITIZED
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* malloc(size_t n) {
    if (countingAllocations) ++allocationsInRun;
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t size) {
    if (countingAllocations) ++allocationsInRun;
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n) {
    if (countingAllocations) ++allocationsInRun;
    return __libc_realloc(p, n);
}
}
#endif

namespace {

// Port layout: the controls, the latency, the input, then the outputs.
constexpr uint32_t kControls = 15;
constexpr uint32_t kLatencyPort = 15;
constexpr uint32_t kInPort = 16;
constexpr uint32_t kBlankerPort = 13;
constexpr float kDefaults[kControls] = {1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1200, 0, 30, 0, 8};

const LV2_Descriptor* descriptor(const char* uri) {
    static void* module = dlopen(TARNIX_LV2_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (!module) return nullptr;
    auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(module, "lv2_descriptor"));
    for (uint32_t i = 0; entry && entry(i); ++i)
        if (std::strcmp(entry(i)->URI, uri) == 0) return entry(i);
    return nullptr;
}

class Instance {
  public:
    Instance(bool stereo, double rate)
        : d_(descriptor(stereo ? "urn:tarnix:lv2:stereo" : "urn:tarnix:lv2:mono")),
          channels_(stereo ? 2 : 1) {
        std::copy(kDefaults, kDefaults + kControls, controls);
        if (d_) handle_ = d_->instantiate(d_, rate, "", nullptr);
        if (!handle_) return;
        for (uint32_t i = 0; i < kControls; ++i)
            d_->connect_port(handle_, i, &controls[i]);
        d_->connect_port(handle_, kLatencyPort, &latency);
        d_->activate(handle_);
    }
    ~Instance() {
        if (handle_) d_->cleanup(handle_);
    }
    bool ok() const { return handle_ != nullptr; }

    // Runs `in` in calls of the given sizes (repeated) and returns the
    // output, interleaved when stereo.
    std::vector<float> run(const std::vector<float>& in, const std::vector<uint32_t>& sizes) {
        std::vector<float> out(in.size() * channels_);
        std::vector<float> left, right;
        size_t done = 0, call = 0;
        do {
            const auto n = static_cast<uint32_t>(
                std::min<size_t>(sizes[call % sizes.size()], in.size() - done));
            // In place, as hosts may do: the first output shares the input's buffer.
            left.assign(in.begin() + done, in.begin() + done + n);
            right.assign(n, 0.0f);
            d_->connect_port(handle_, kInPort, left.data());
            d_->connect_port(handle_, kInPort + 1, left.data());
            d_->connect_port(handle_, kInPort + 2, right.data());
            countingAllocations = true;
            d_->run(handle_, n);
            countingAllocations = false;
            for (uint32_t i = 0; i < n; ++i) {
                out[(done + i) * channels_] = left[i];
                if (channels_ == 2) out[(done + i) * 2 + 1] = right[i];
            }
            latencies.push_back(latency);
            done += n;
            ++call;
        } while (done < in.size());
        return out;
    }
    void restart() {
        if (d_->deactivate) d_->deactivate(handle_);  // optional
        d_->activate(handle_);
    }

    float controls[kControls];
    float latency = -1.0f;
    std::vector<float> latencies;

  private:
    const LV2_Descriptor* d_;
    LV2_Handle handle_ = nullptr;
    uint32_t channels_;
};

// The demo's first seconds, in the host's sample format.
std::vector<float> demo(double seconds) {
    SF_INFO info{};
    SNDFILE* f = sf_open(TARNIX_SOURCE_DIR "/samples/demo-noisy.wav", SFM_READ, &info);
    if (!f) return {};
    std::vector<short> s(static_cast<size_t>(seconds * info.samplerate));
    s.resize(static_cast<size_t>(sf_read_short(f, s.data(), static_cast<sf_count_t>(s.size()))));
    sf_close(f);
    std::vector<float> x(s.size());
    for (size_t i = 0; i < s.size(); ++i)
        x[i] = s[i] / 32768.0f;
    return x;
}

TEST(Lv2Plugin, RefusesRatesTheEngineDoesNotRun) {
    for (bool stereo : {false, true}) {
        for (double rate : {0.0, 7999.0, 22050.5, 48001.0, 96000.0})
            EXPECT_FALSE(Instance(stereo, rate).ok()) << rate;
        for (double rate : {8000.0, 11025.0, 44100.0, 48000.0})
            EXPECT_TRUE(Instance(stereo, rate).ok()) << rate;
    }
}

TEST(Lv2Plugin, OutputAndLatencyDoNotDependOnTheCallPattern) {
    const std::vector<float> in = demo(4.0);
    ASSERT_FALSE(in.empty());
    for (bool stereo : {false, true}) {
        std::vector<float> first;
        float reported = -1.0f;
        for (uint32_t size : {1u, 37u, 256u, 4096u}) {
            Instance plugin(stereo, 11025);
            ASSERT_TRUE(plugin.ok());
            plugin.controls[3] = 30;  // noise floor
            plugin.controls[6] = 1;   // LMS
            const std::vector<float> out = plugin.run(in, {size});
            for (float l : plugin.latencies)
                ASSERT_EQ(l, plugin.latencies.front()) << size;
            if (first.empty()) {
                first = out;
                reported = plugin.latency;
                continue;
            }
            EXPECT_EQ(plugin.latency, reported);
            ASSERT_EQ(out, first) << "calls of " << size << (stereo ? ", stereo" : "");
        }
        // Sound comes out, and only after the latency.
        const auto delay = static_cast<size_t>(reported) * (stereo ? 2 : 1);
        ASSERT_LT(delay, first.size());
        EXPECT_TRUE(std::all_of(first.begin(), first.begin() + delay - 1024,
                                [](float v) { return v == 0.0f; }));
        EXPECT_TRUE(std::any_of(first.begin() + delay, first.end(),
                                [](float v) { return std::fabs(v) > 0.01f; }));
    }
}

// Random call sizes (0 included) and control values, in and out of range,
// at both ends of the rates, with nothing allocated; then a restart must
// forget everything.
TEST(Lv2Plugin, RandomCallsAndControlChangesThenARestartStartsAfresh) {
    std::mt19937 random(12);
    const std::vector<float> in = demo(3.0);
    for (bool stereo : {false, true}) {
        for (double rate : {8000.0, 48000.0}) {
            Instance plugin(stereo, rate);
            ASSERT_TRUE(plugin.ok());
            std::uniform_int_distribution<uint32_t> size(0, 5000);
            std::uniform_real_distribution<float> value(-20.0f, 200.0f);
            for (int call = 0; call < 300; ++call) {
                if (call % 7 == 0) plugin.controls[random() % kControls] = value(random);
                if (call == 150) plugin.controls[9] = NAN;
                std::vector<float> x(size(random));
                for (float& v : x)
                    v = std::uniform_real_distribution<float>(-1.5f, 1.5f)(random);
                for (float v : plugin.run(x, {static_cast<uint32_t>(x.size())}))
                    ASSERT_TRUE(v >= -1.0f && v <= 1.0f);
            }
#ifndef TARNIX_SANITIZED
            EXPECT_EQ(allocationsInRun, 0);
#endif
            plugin.restart();
            std::copy(kDefaults, kDefaults + kControls, plugin.controls);
            Instance fresh(stereo, rate);
            EXPECT_EQ(plugin.run(in, {512}), fresh.run(in, {512}));
        }
    }
}

// ---- lv2apply against tarnix-file ----

struct Audio {
    int channels = 0;
    std::vector<float> samples;  // interleaved, in 16-bit units
};

Audio read(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    Audio a;
    if (!f) return a;
    a.channels = info.channels;
    a.samples.resize(static_cast<size_t>(info.frames * info.channels));
    // Unscaled, so 16-bit files read as their sample values.
    sf_command(f, SFC_SET_NORM_FLOAT, nullptr, info.format & SF_FORMAT_FLOAT ? SF_TRUE : SF_FALSE);
    sf_read_float(f, a.samples.data(), static_cast<sf_count_t>(a.samples.size()));
    sf_close(f);
    if (info.format & SF_FORMAT_FLOAT)
        for (float& v : a.samples)
            v *= 32768.0f;
    return a;
}

// The host's input: the 16-bit input as floats, and enough silence after it
// for the last input sample to come out.
void writeHostInput(const fs::path& input, const fs::path& path, size_t silence) {
    SF_INFO info{};
    SNDFILE* in = sf_open(input.c_str(), SFM_READ, &info);
    ASSERT_NE(in, nullptr);
    std::vector<float> x(static_cast<size_t>(info.frames));
    sf_readf_float(in, x.data(), info.frames);
    sf_close(in);
    x.resize(x.size() + silence, 0.0f);
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(out, nullptr);
    sf_writef_float(out, x.data(), static_cast<sf_count_t>(x.size()));
    sf_close(out);
}

struct Case {
    const char* name;
    int rate;
    bool stereo;
    const char* fileOptions;
    const char* controls;  // lv2apply -c pairs
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class Lv2Apply : public ::testing::TestWithParam<Case> {};

TEST_P(Lv2Apply, GivesTarnixFilesOutputAfterTheReportedLatency) {
#ifdef TARNIX_SANITIZED
    GTEST_SKIP() << "lv2apply cannot load a module built with the sanitizers";
#endif
#ifdef TARNIX_CROSS_BUILD
    GTEST_SKIP() << "the build machine's lv2apply cannot load a module built for another processor";
#endif
    const Case& c = GetParam();
    const fs::path dir =
        fs::path(::testing::TempDir()) / ("tarnix-lv2apply-" + std::string(c.name));
    fs::create_directories(dir);
    const fs::path input = dir / "in.wav";
    // The demo at the case's rate, at most ten seconds of it.
    const std::string make = "sox -q -D " TARNIX_SOURCE_DIR "/samples/demo-noisy.wav -b 16 " +
                             input.string() + " trim 0 10 rate " + std::to_string(c.rate);
    ASSERT_EQ(std::system(make.c_str()), 0);

    Instance probe(c.stereo, c.rate);
    ASSERT_TRUE(probe.ok());
    // The blanker's look-ahead adds to the latency.
    if (std::strstr(c.fileOptions, "--blanker")) probe.controls[kBlankerPort] = 1.0f;
    probe.run(std::vector<float>(1), {1});
    const auto latency = static_cast<size_t>(probe.latency);

    writeHostInput(input, dir / "host.wav", latency);
    const std::string file = std::string(TARNIX_FILE_EXE) + " -q " + (c.stereo ? "--stereo " : "") +
                             c.fileOptions + " " + input.string() + " " +
                             (dir / "file.wav").string();
    ASSERT_EQ(std::system(file.c_str()), 0) << file;
    const std::string apply = std::string("lv2apply ") + c.controls + " -i " +
                              (dir / "host.wav").string() + " -o " + (dir / "lv2.wav").string() +
                              (c.stereo ? " urn:tarnix:lv2:stereo" : " urn:tarnix:lv2:mono");
    ASSERT_EQ(std::system(apply.c_str()), 0) << apply;

    const Audio expected = read(dir / "file.wav");
    const Audio got = read(dir / "lv2.wav");
    const size_t channels = c.stereo ? 2 : 1;
    ASSERT_EQ(expected.channels, static_cast<int>(channels));
    ASSERT_EQ(got.channels, static_cast<int>(channels));
    ASSERT_EQ(got.samples.size(), expected.samples.size() + latency * channels);
    size_t differ = 0;
    for (size_t i = 0; i < expected.samples.size(); ++i)
        if (got.samples[latency * channels + i] != expected.samples[i]) ++differ;
    EXPECT_EQ(differ, 0u) << "of " << expected.samples.size();
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, Lv2Apply,
    ::testing::Values(
        Case{"defaults_11025", 11025, false, "", ""},
        Case{"stereo_11025", 11025, true,
             "--noise-floor 150 --heterodyne fast --prefilter voice --lms --band voice-wide",
             "-c noise_floor 150 -c heterodyne 3 -c prefilter 1 -c lms 1 -c band 4"},
        Case{"mono_48000", 48000, false,
             "--no-equalizer --averaging --combiner --exponential 0.3 --prefilter music "
             "--heterodyne slow --min-amplitude 500 --band stop-above-3000",
             "-c equalizer 0 -c averaging 1 -c combiner 1 -c exponential 0.3 -c prefilter 2 "
             "-c heterodyne 2 -c min_amplitude 500 -c band 12"},
        Case{
            "stereo_48000", 48000, true,
            "--no-expandor --noise-floor 30 --heterodyne off --band notch-narrow --exponential 0.9",
            "-c expandor 0 -c noise_floor 30 -c heterodyne 0 -c band 7 -c exponential 0.9"},
        Case{"enhance_stereo_22050", 22050, true, "--enhance --enhance-floor 20 --no-expandor",
             "-c enhance 1 -c enhance_floor 20 -c expandor 0"},
        Case{"blanker_8000", 8000, false, "--blanker", "-c blanker 1"},
        Case{"blanker_enhance_stereo_44100", 44100, true,
             "--blanker --blanker-threshold 5 --enhance",
             "-c blanker 1 -c blanker_threshold 5 -c enhance 1 -c expandor 0"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
