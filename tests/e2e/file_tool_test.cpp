// tarnix-file end to end: the executable on real files.
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <numbers>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

struct Result {
    int code;
    std::string output;  // standard output and standard error together
};

Result runTool(const std::string& args) {
    const std::string command = std::string(TARNIX_FILE_EXE) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

struct Audio {
    int rate = 0, channels = 0;
    std::vector<short> samples;  // interleaved
    size_t frames() const { return samples.size() / channels; }
};

void writeAudio(const std::string& path, const Audio& a,
                int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16) {
    SF_INFO info{};
    info.samplerate = a.rate;
    info.channels = a.channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_write_short(f, a.samples.data(), static_cast<sf_count_t>(a.samples.size()));
    sf_close(f);
}

Audio readAudio(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    Audio a;
    if (!f) return a;
    a.rate = info.samplerate;
    a.channels = info.channels;
    a.samples.resize(static_cast<size_t>(info.frames * info.channels));
    sf_readf_short(f, a.samples.data(), info.frames);
    sf_close(f);
    return a;
}

Audio noise(int rate, int channels, double seconds, unsigned seed = 1, int amplitude = 8000) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(-amplitude, amplitude);
    Audio a{rate, channels, {}};
    a.samples.resize(static_cast<size_t>(rate * seconds) * channels);
    for (auto& s : a.samples)
        s = static_cast<short>(dist(rng));
    return a;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Level of a tone in a stretch of mono samples, in dB of sample units.
double toneLevel(const std::vector<short>& x, double hz, int rate, size_t start, size_t n) {
    double re = 0, im = 0;
    for (size_t i = 0; i < n; ++i) {
        re += x[start + i] * std::cos(2 * std::numbers::pi * hz * i / rate);
        im += x[start + i] * std::sin(2 * std::numbers::pi * hz * i / rate);
    }
    return 20 * std::log10(2 * std::hypot(re, im) / n + 1e-9);
}

class FileTool : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tarnix-e2e-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    size_t filesInDir() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {}));
    }
    fs::path dir;
};

TEST_F(FileTool, BadInputsFailClearlyAndLeaveTheOutputUntouched) {
    const std::string out = path("out.wav");
    std::ofstream(out) << "precious";
    std::ofstream(path("text.wav")) << "this is not audio at all, just some words\n";
    std::ofstream(path("empty.wav"));
    writeAudio(path("good.wav"), noise(11025, 1, 1.0));
    const std::string good = slurp(path("good.wav"));
    std::ofstream(path("truncated.wav"), std::ios::binary) << good.substr(0, 20);
    writeAudio(path("fast.wav"), noise(96000, 1, 0.1));
    writeAudio(path("slow.wav"), noise(4000, 1, 0.5));

    struct Case {
        std::string input, message;
    } cases[] = {
        {path("missing.wav"), "no such file"},
        {path("text.wav"), "cannot read it as audio"},
        {path("empty.wav"), "cannot read it as audio"},
        {path("truncated.wav"), "truncated.wav"},
        {path("fast.wav"), "sampling rate 96000 Hz is not supported"},
        {path("slow.wav"), "sampling rate 4000 Hz is not supported"},
        {dir.string(), "is a directory"},
    };
    const size_t before = filesInDir();
    for (const auto& c : cases) {
        const Result r = runTool("'" + c.input + "' '" + out + "'");
        EXPECT_EQ(r.code, 1) << c.input << ": " << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
        EXPECT_NE(r.output.find(fs::path(c.input).filename().string()), std::string::npos);
        EXPECT_EQ(slurp(out), "precious");
    }
    EXPECT_EQ(filesInDir(), before);  // no temporary file left behind

    Result r = runTool("'" + path("good.wav") + "' '" + path("good.wav") + "'");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("refusing to write over the input"), std::string::npos);
    EXPECT_EQ(slurp(path("good.wav")), good);
    r = runTool("'" + path("good.wav") + "' '" + dir.string() + "/./good.wav'");
    EXPECT_EQ(r.code, 1);

    r = runTool("'" + path("good.wav") + "' /nonexistent-dir/out.wav");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("/nonexistent-dir/out.wav"), std::string::npos) << r.output;
}

TEST_F(FileTool, UsageErrorsExitWithTwoAndHelpWithZero) {
    EXPECT_EQ(runTool("").code, 2);
    EXPECT_EQ(runTool("a.wav").code, 2);
    EXPECT_EQ(runTool("--noise-floor 35 a.wav b.wav").code, 2);
    EXPECT_EQ(runTool("--band voice-loud a.wav b.wav").code, 2);
    EXPECT_EQ(runTool("--pass 3000-300 a.wav b.wav").code, 2);
    EXPECT_EQ(runTool("--stop abc a.wav b.wav").code, 2);
    const Result help = runTool("--help");
    EXPECT_EQ(help.code, 0);
    for (const char* option :
         {"--stereo", "--prefilter", "--lms", "--combiner", "--exponential", "--noise-floor",
          "--heterodyne", "--no-equalizer", "--no-expandor", "--averaging", "--band", "--pass",
          "--stop", "--min-amplitude", "--quiet", "--version"})
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
    EXPECT_EQ(runTool("--version").code, 0);
}

TEST_F(FileTool, OutputHasTheInputsRateAndLengthInMonoAndStereo) {
    for (int rate : {8000, 22050, 48000}) {
        const Audio in = noise(rate, 2, 1.3, rate);  // two channels are mixed down
        writeAudio(path("in.flac"), in, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
        for (bool stereo : {false, true}) {
            const std::string out = path(stereo ? "stereo.wav" : "mono.wav");
            const Result r = runTool(std::string(stereo ? "--stereo " : "") + "-q " +
                                     path("in.flac") + " " + out);
            ASSERT_EQ(r.code, 0) << r.output;
            EXPECT_TRUE(r.output.empty()) << r.output;
            const Audio a = readAudio(out);
            EXPECT_EQ(a.rate, rate);
            EXPECT_EQ(a.channels, stereo ? 2 : 1);
            EXPECT_EQ(a.frames(), in.frames());
        }
    }
}

TEST_F(FileTool, PassThroughOutputIsTheInputAligned) {
    for (bool stereo : {false, true}) {
        const Audio in = noise(11025, 1, 3.0, 9, 20000);
        writeAudio(path("in.wav"), in);
        const Result r =
            runTool(std::string("--check-pass-through -q ") + (stereo ? "--stereo " : "") +
                    path("in.wav") + " " + path("out.wav"));
        ASSERT_EQ(r.code, 0) << r.output;
        const Audio out = readAudio(path("out.wav"));
        ASSERT_EQ(out.frames(), in.frames());
        // Only the rounding of the overlap-add differs; the first 768 samples
        // lack the frames that would have begun before the stream did.
        int worst = 0;
        for (size_t n = 768; n < in.frames(); ++n)
            for (int c = 0; c < out.channels; ++c)
                worst =
                    std::max(worst, std::abs(out.samples[n * out.channels + c] - in.samples[n]));
        EXPECT_LE(worst, stereo ? 64 : 4) << (stereo ? "stereo" : "mono");
    }
}

TEST_F(FileTool, BandOptionsApplyInOrder) {
    writeAudio(path("in.wav"), noise(11025, 1, 2.0, 4, 20000));
    auto energy = [&](const std::string& options) {
        const Result r = runTool("-q " + options + " " + path("in.wav") + " " + path("out.wav"));
        EXPECT_EQ(r.code, 0) << r.output;
        double e = 0;
        for (short s : readAudio(path("out.wav")).samples)
            e += double(s) * s;
        return e;
    };
    const double open = energy("--no-equalizer --min-amplitude 0");
    EXPECT_GT(open, 0.0);
    EXPECT_EQ(energy("--no-equalizer --band stop-all"), 0.0);
    const double band = energy("--no-equalizer --min-amplitude 0 --band stop-all --pass 1000-2000");
    EXPECT_GT(band, 0.0);
    EXPECT_LT(band, open * 0.5);
    EXPECT_EQ(energy("--no-equalizer --min-amplitude 0 --pass 1000-2000 --band stop-all"), 0.0);
}

TEST_F(FileTool, WhistleInTheDemoIsGoneWithoutTheEqualizer) {
    const std::string demo = std::string(TARNIX_SOURCE_DIR) + "/samples/demo-noisy.wav";
    const Result r = runTool("--no-equalizer --noise-floor 30 '" + demo + "' " + path("out.wav"));
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("real time"), std::string::npos) << r.output;
    const Audio in = readAudio(demo), out = readAudio(path("out.wav"));
    ASSERT_EQ(out.frames(), in.frames());
    // From two seconds on the notch has settled.
    for (size_t start = 2 * 11025; start + 11025 <= in.frames(); start += 4 * 11025) {
        const double before = toneLevel(in.samples, 5000, 11025, start, 11025);
        const double after = toneLevel(out.samples, 5000, 11025, start, 11025);
        EXPECT_GT(before - after, 40.0) << "at " << start / 11025 << " s";
    }
}

TEST_F(FileTool, LongInputStreamsInFlatMemory) {
    auto maxRssKb = [&](double seconds) {
        writeAudio(path("long.wav"), noise(8000, 1, seconds, 2));
        const pid_t pid = fork();
        if (pid == 0) {
            const std::string in = path("long.wav"), out = path("out.wav");
            execl(TARNIX_FILE_EXE, "tarnix-file", "-q", in.c_str(), out.c_str(), nullptr);
            _exit(127);
        }
        int status = 0;
        struct rusage usage {};
        wait4(pid, &status, 0, &usage);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        return usage.ru_maxrss;
    };
    const long small = maxRssKb(2.0);
    const long large = maxRssKb(600.0);  // ten minutes, 9.6 MB of samples
    EXPECT_LT(large - small, 2048) << small << " kB vs " << large << " kB";
}

}  // namespace
