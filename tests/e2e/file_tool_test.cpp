// tarnix-file end to end: the executable on real files.
#include <fcntl.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "command_output.h"

namespace fs = std::filesystem;

namespace {

// Standard output and standard error together.
using Result = CommandResult;

Result runTool(const std::string& args) {
    return runCommand(std::string(TARNIX_FILE_EXE) + " " + args + " 2>&1");
}

// Runs a bash script with the tool as $T and returns its exit status (128 + N
// for a command ended by signal N) and everything it printed.
Result runShell(const std::string& script) {
    char name[] = "/tmp/tarnix-e2e-script-XXXXXX";
    const int fd = mkstemp(name);
    const std::string text = "T='" + std::string(TARNIX_FILE_EXE) + "'\n" + script + "\n";
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        return {-1, "cannot write the script"};
    close(fd);
    const Result r = runCommand("bash " + std::string(name) + " 2>&1");
    unlink(name);
    return r;
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
    writeAudio(path("zero.wav"), Audio{8000, 1, {}});  // valid, but no frames
    writeAudio(path("whole.ogg"), noise(8000, 1, 2.0), SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    std::ofstream(path("truncated.ogg"), std::ios::binary)
        << slurp(path("whole.ogg")).substr(0, 300);

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
        {path("zero.wav"), "holds no audio samples"},
        {path("truncated.ogg"), "truncated.ogg"},
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
    struct Case {
        std::string args, message;
    } cases[] = {
        {"--pass 300-300 a.wav b.wav", "LO < HI"},
        {"--min-amplitude '' a.wav b.wav", "--min-amplitude: expected a number"},
        {"--min-amplitude 12x a.wav b.wav", "--min-amplitude: expected a number"},
        {"a.wav ''", "OUTPUT: empty file name"},
        {"'' b.wav", "INPUT: empty file name"},
        {"--pass 300-400 500-600 a.wav b.wav", "--pass 300-400 --pass 500-600"},
        {"--band voice-wide notch-narrow a.wav b.wav", "repeat it"},
        {"a.wav -", "add --raw"},
        {"--raw - b.wav", "give --rate"},
        {"--rate 8000 a.wav b.wav", "--rate: only for raw samples"},
        {"--jobs 2 a.wav b.wav", "--jobs: only for a batch"},
        {"--output-dir d -", "cannot be part of a batch"},
        {"a.wav b.wav c.wav", "expected INPUT and OUTPUT"},
    };
    for (const auto& c : cases) {
        const Result r = runTool(c.args);
        EXPECT_EQ(r.code, 2) << c.args << ": " << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.args << ": " << r.output;
    }
    // A range with exponents is read whole: this gets as far as the missing file.
    EXPECT_EQ(runTool("--pass 1e-3-5e3 missing.wav b.wav").code, 1);
    const Result help = runTool("--help");
    EXPECT_EQ(help.code, 0);
    for (const char* option :
         {"--stereo",      "--prefilter",  "--lms",          "--combiner",      "--exponential",
          "--noise-floor", "--heterodyne", "--no-equalizer", "--no-expandor",   "--averaging",
          "--band",        "--pass",       "--stop",         "--min-amplitude", "--quiet",
          "--version",     "--raw",        "--rate",         "--output-dir",    "--jobs"})
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
    EXPECT_EQ(runTool("--version").code, 0);
}

// Every sample format the audio library reads comes in at its level: a sine
// at 0.3 of full scale, and exactly the 16-bit samples it was made from
// where the format is lossless (floating point included).
TEST_F(FileTool, EverySampleFormatIsReadAtItsLevel) {
    Audio sine{48000, 1, {}};
    for (int i = 0; i < 24000; ++i)
        sine.samples.push_back(static_cast<short>(
            std::lround(0.3 * 32768 * std::sin(2 * std::numbers::pi * 1000 * i / 48000.0))));
    std::vector<double> scaled(sine.samples.begin(), sine.samples.end());
    for (double& x : scaled)
        x /= 32768;
    struct Format {
        const char* name;
        int format;
        bool exact;
    } formats[] = {
        {"s16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, true},
        {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, false},
        {"s24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, true},
        {"s32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, true},
        {"f32.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, true},
        {"f64.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, true},
        {"f32.au", SF_FORMAT_AU | SF_FORMAT_FLOAT, true},
        {"f32.caf", SF_FORMAT_CAF | SF_FORMAT_FLOAT, true},
        {"f64.w64", SF_FORMAT_W64 | SF_FORMAT_DOUBLE, true},
        {"ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, false},
        {"ima.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, false},
        {"ms.wav", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, false},
        {"s16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, true},
        {"vorbis.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, false},
        {"alaw.wav", SF_FORMAT_WAV | SF_FORMAT_ALAW, false},
        {"s24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, true},
        {"opus.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, false},
        {"layer3.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, false},
    };
    Audio reference;
    for (const Format& f : formats) {
        SF_INFO info{};
        info.samplerate = sine.rate;
        info.channels = 1;
        info.format = f.format;
        SNDFILE* file = sf_open(path(f.name).c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr) << f.name << ": " << sf_strerror(nullptr);
        sf_write_double(file, scaled.data(), static_cast<sf_count_t>(scaled.size()));
        sf_close(file);
        const Result r = runTool("-q --check-pass-through " + path(f.name) + " " + path("out.wav"));
        ASSERT_EQ(r.code, 0) << f.name << ": " << r.output;
        const Audio out = readAudio(path("out.wav"));
        // Block-coded formats end on a whole block.
        ASSERT_GE(out.frames(), sine.frames()) << f.name;
        if (reference.samples.empty()) reference = out;  // the 16-bit file's
        if (f.exact) {
            EXPECT_EQ(out.samples, reference.samples) << f.name;
        }
        // The first 768 samples lack the frames that began before the input.
        const short peak = *std::max_element(out.samples.begin() + 768, out.samples.end());
        EXPECT_NEAR(20 * std::log10(peak / 32768.0), 20 * std::log10(0.3), 1.0) << f.name;
    }
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

// The length is what the file holds: a header that declares none, too much or
// an absurd amount changes nothing but a warning.
TEST_F(FileTool, OutputLengthIsTheAudioReadNotTheHeader) {
    const Audio in = noise(8000, 1, 0.5, 3);
    writeAudio(path("in.flac"), in, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const std::string flac = slurp(path("in.flac"));
    // STREAMINFO: 36 bits of total samples end the 8 bytes at offset 18.
    auto declaring = [&](uint64_t total) {
        std::string f = flac;
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i)
            v = v << 8 | static_cast<unsigned char>(f[18 + i]);
        v = (v & ~((uint64_t{1} << 36) - 1)) | total;
        for (int i = 7; i >= 0; --i, v >>= 8)
            f[18 + i] = static_cast<char>(v & 0xFF);
        return f;
    };
    struct Case {
        uint64_t total;
        bool warns;
    } cases[] = {{0, false}, {10'000'000, true}, {uint64_t{1} << 35, true}};
    const Result reference = runTool("-q " + path("in.flac") + " " + path("reference.wav"));
    ASSERT_EQ(reference.code, 0) << reference.output;
    for (const auto& c : cases) {
        std::ofstream(path("lying.flac"), std::ios::binary) << declaring(c.total);
        const Result r = runTool("-q " + path("lying.flac") + " " + path("out.wav"));
        EXPECT_EQ(r.code, 0) << c.total << ": " << r.output;
        EXPECT_EQ(r.output.find("warning") != std::string::npos, c.warns) << r.output;
        EXPECT_EQ(slurp(path("out.wav")), slurp(path("reference.wav"))) << c.total;
    }

    // A WAV written to a pipe carries a placeholder length.
    writeAudio(path("in.wav"), in);
    std::string wav = slurp(path("in.wav"));
    const auto data = wav.find("data");
    ASSERT_NE(data, std::string::npos);
    for (size_t i : {size_t{4}, data + 4})
        wav.replace(i, 4, std::string("\xFF\xFF\xFF\x7F", 4));
    std::ofstream(path("piped.wav"), std::ios::binary) << wav;
    const Result r =
        runShell("cat " + path("piped.wav") + " | $T -q /dev/stdin " + path("out.wav"));
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(slurp(path("out.wav")), slurp(path("reference.wav")));
}

TEST_F(FileTool, OutputNamesLinksAndSpecialFiles) {
    writeAudio(path("in.wav"), noise(8000, 1, 0.5, 5));
    const std::string in = path("in.wav");
    ASSERT_EQ(runTool("-q --raw " + in + " " + path("plain.raw")).code, 0);

    // A device is written in place and a FIFO takes raw samples; neither is replaced.
    Result r = runTool("-q " + in + " /dev/null");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    r = runShell("cd " + dir.string() +
                 " && mkfifo f && (cat f > got.raw &) && $T -q --raw in.wav f" +
                 " && sleep 0.2 && cmp got.raw plain.raw && test -p f");
    EXPECT_EQ(r.code, 0) << r.output;
    r = runTool(in + " " + path("f"));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("is a FIFO"), std::string::npos) << r.output;
    // Standard output named by its links, while it is a pipe.
    r = runShell("cd " + dir.string() + " && $T -q --raw in.wav /dev/stdout | cat > a.raw" +
                 " && $T -q --raw in.wav /dev/fd/1 | cat > b.raw && cmp a.raw plain.raw" +
                 " && cmp b.raw plain.raw");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_TRUE(fs::is_fifo(path("f")));

    // A link stays a link; the file it points to is replaced.
    std::ofstream(path("target.wav")) << "old";
    fs::create_symlink("target.wav", path("link.wav"));
    r = runTool("-q " + in + " " + path("link.wav"));
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_TRUE(fs::is_symlink(path("link.wav")));
    EXPECT_EQ(readAudio(path("target.wav")).frames(), 4000u);

    // A rewritten file keeps its mode, its owner and every hard link.
    std::ofstream(path("private.wav")) << "old";
    fs::permissions(path("private.wav"), fs::perms::owner_read | fs::perms::owner_write);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(path("private.wav").c_str(), 65534, 65534), 0);
    }
    fs::create_hard_link(path("private.wav"), path("twin.wav"));
    r = runTool("-q " + in + " " + path("private.wav"));
    EXPECT_EQ(r.code, 0) << r.output;
    struct stat st {};
    ASSERT_EQ(stat(path("private.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_nlink, 2u);
    EXPECT_EQ(st.st_uid, root ? 65534u : geteuid());
    EXPECT_EQ(readAudio(path("twin.wav")).frames(), 4000u);
    fs::remove(path("twin.wav"));
    r = runTool("-q " + in + " " + path("private.wav"));
    ASSERT_EQ(stat(path("private.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_uid, root ? 65534u : geteuid());

    // The longest legal name works; longer ones and unreachable places fail cleanly.
    r = runTool("-q " + in + " " + path(std::string(251, 'n') + ".wav"));
    EXPECT_EQ(r.code, 0) << r.output;
    fs::create_symlink("loop", path("loop"));
    const std::string precious = path("precious.wav");
    std::ofstream(precious) << "precious";
    for (const std::string& out :
         {path(std::string(252, 'n') + ".wav"), path("loop/out.wav"), std::string("/dev/full")}) {
        r = runTool("-q " + in + " " + out);
        EXPECT_EQ(r.code, 1) << out << ": " << r.output;
        EXPECT_NE(r.output.find(out), std::string::npos) << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    }
    EXPECT_NE(runTool("-q " + in + " /dev/full").output.find("No space left"), std::string::npos);
    if (geteuid() == 0) {
        // A directory the user may not search (root may search them all).
        fs::create_directory(path("locked"));
        fs::permissions(path("locked"), fs::perms::owner_all);
        fs::permissions(dir, fs::perms::others_read | fs::perms::others_exec,
                        fs::perm_options::add);
        r = runShell("setpriv --reuid=65534 --regid=65534 --clear-groups $T -q " + in + " " +
                     path("locked/out.wav"));
        EXPECT_EQ(r.code, 1) << r.output;
        EXPECT_NE(r.output.find("locked/out.wav': cannot write it (Permission denied)"),
                  std::string::npos)
            << r.output;
    }

    // A full disk (here a file size limit) names OUTPUT and the reason; nothing is left behind.
    writeAudio(path("long.wav"), noise(8000, 1, 10.0, 6));
    const size_t before = filesInDir();
    r = runShell("ulimit -f 20; trap '' XFSZ; $T -q " + path("long.wav") + " " + precious);
    EXPECT_EQ(r.code, 1) << r.output;
    EXPECT_NE(r.output.find("'" + precious + "': cannot write it (File too large)"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(slurp(precious), "precious");
    EXPECT_EQ(filesInDir(), before);
    // The same without the shell's help: the signal of the limit is not fatal, and says so.
    r = runShell("ulimit -f 20; $T -q " + path("long.wav") + " " + precious);
    EXPECT_EQ(r.code, 1) << r.output;
    EXPECT_NE(r.output.find("(File too large): the file-size limit was reached"), std::string::npos)
        << r.output;
    EXPECT_EQ(slurp(precious), "precious");
    EXPECT_EQ(filesInDir(), before);
}

// A file with several hard links is rewritten in place: a full disk half-way
// puts the old contents back under every name, and a signal waits until the
// file is whole again.
TEST_F(FileTool, HardLinkedOutputSurvivesAFullDiskAndSignals) {
    if (geteuid() != 0 || runShell("unshare -m true").code != 0)
        GTEST_SKIP() << "needs root to mount a small file system";
    writeAudio(path("in.wav"), noise(8000, 1, 10.0, 21));
    ASSERT_EQ(runTool("-q " + path("in.wav") + " " + path("plain.wav")).code, 0);
    // Room for the new file once, not twice.
    Result r = runShell(
        "export T; unshare -m bash -c 'mkdir -p " + path("small") +
        " && mount -t tmpfs -o size=256k tmpfs " + path("small") + " && cd " + path("small") +
        " && printf old > out.wav && ln out.wav twin.wav"
        " && { $T -q ../in.wav out.wav; echo status $?; cat twin.wav; echo; ls -A; }'");
    EXPECT_NE(r.output.find("status 1\nold\nout.wav\ntwin.wav\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("No space left on device"), std::string::npos) << r.output;

    // Writes slowed down, and Ctrl-C as soon as the old file is touched.
    if (runShell("strace -o /dev/null true").code != 0) GTEST_SKIP() << "no strace to slow writes";
    r = runShell("cd " + dir.string() +
                 " && rmdir small && printf old > out.wav && ln out.wav twin.wav\n"
                 "strace -f -o /dev/null -e trace=write,pwrite64 "
                 "-e inject=write,pwrite64:delay_enter=100000 $T -q in.wav out.wav & pid=$!\n"
                 "for i in $(seq 1500); do [ \"$(cat out.wav)\" = old ] && ! ls -A | grep -q "
                 "'^\\.out\\.wav\\.old' || break; sleep 0.01; done\n"
                 "kill -INT $(cat /proc/$pid/task/*/children); wait $pid; ls -A");
    EXPECT_EQ(r.output, "in.wav\nout.wav\nplain.wav\ntwin.wav\n") << r.output;
    EXPECT_EQ(slurp(path("twin.wav")), slurp(path("plain.wav")));
}

// The new recording is never more open than the file it replaces, not even
// while it is written.
TEST_F(FileTool, TemporaryFileHasTheOutputsModeFromTheStart) {
    writeAudio(path("in.wav"), noise(8000, 1, 1.0, 22));
    const Result r = runShell("cd " + dir.string() +
                              " && printf old > out.wav && chmod 600 out.wav && mkfifo in.fifo"
                              " && exec 3<>in.fifo && cat in.wav >&3\n"
                              "$T -q in.fifo out.wav & pid=$!\n"
                              "for i in $(seq 100); do ls -A | grep -q '^\\.out\\.wav\\.tmp' "
                              "&& break; sleep 0.05; done\n"
                              "stat -c %a .out.wav.tmp-*; kill $pid; wait $pid; rm in.fifo");
    EXPECT_EQ(r.output, "600\n") << r.output;
}

// /dev/stdout and /dev/fd/N name what the shell opened: written as it stands,
// appended to when it appends, never replaced by name.
TEST_F(FileTool, DescriptorNamesAreWrittenAsTheyStand) {
    writeAudio(path("in.wav"), noise(8000, 1, 0.5, 23));
    writeAudio(path("in2.wav"), noise(8000, 1, 0.3, 24));
    ASSERT_EQ(runTool("-q --raw " + path("in.wav") + " " + path("a.raw")).code, 0);
    ASSERT_EQ(runTool("-q --raw " + path("in2.wav") + " " + path("b.raw")).code, 0);
    ASSERT_EQ(runTool("-q " + path("in.wav") + " " + path("a.wav")).code, 0);
    const Result r = runShell(
        "cd " + dir.string() +
        " && printf kept > app.raw && $T -q --raw in.wav /dev/stdout >> app.raw"
        " && printf kept > app.wav && $T in.wav /dev/stdout >> app.wav"
        " && printf kept > fd.raw && $T -q --raw in.wav /dev/fd/3 3>> fd.raw"
        " && { $T -q --raw in.wav /dev/stdout; $T -q --raw in2.wav /proc/self/fd/1; } > two.raw"
        " && ls -A | grep -c deleted");
    EXPECT_EQ(r.code, 1) << r.output;  // grep found no stray file
    EXPECT_NE(r.output.find("wrote '/dev/stdout'"), std::string::npos) << r.output;
    EXPECT_TRUE(slurp(path("app.raw")) == "kept" + slurp(path("a.raw")));
    EXPECT_TRUE(slurp(path("app.wav")) == "kept" + slurp(path("a.wav")));
    EXPECT_TRUE(slurp(path("fd.raw")) == "kept" + slurp(path("a.raw")));
    EXPECT_TRUE(slurp(path("two.raw")) == slurp(path("a.raw")) + slurp(path("b.raw")));
}

TEST_F(FileTool, SignalsRemoveTheTemporaryFileAndEndWithTheirStatus) {
    writeAudio(path("in.wav"), noise(8000, 1, 2.0, 7));
    std::ofstream(path("out.wav")) << "precious";
    for (const char* signal : {"INT", "TERM", "HUP", "QUIT", "USR1", "PWR", "IO", "RTMIN+1"}) {
        // The input arrives through a FIFO that this shell keeps open, so the
        // run is caught waiting with its temporary file open.
        const Result r = runShell("cd " + dir.string() +
                                  " && mkfifo in.fifo && exec 3<>in.fifo && cat in.wav >&3\n"
                                  "$T -q in.fifo out.wav & pid=$!\n"
                                  "for i in $(seq 100); do ls -A | grep -q '^\\.out\\.wav\\.tmp' "
                                  "&& break; sleep 0.05; done\n"
                                  "ls -A | grep -c '^\\.out\\.wav\\.tmp'\n"
                                  "kill -" +
                                  std::string(signal) +
                                  " $pid; wait $pid 2>/dev/null; status=$?; rm in.fifo\n"
                                  "ls -A | grep -c '^\\.out\\.wav\\.tmp'; exit $status");
        const int expected =
            128 + std::map<std::string, int>{{"INT", SIGINT},   {"TERM", SIGTERM},
                                             {"HUP", SIGHUP},   {"QUIT", SIGQUIT},
                                             {"USR1", SIGUSR1}, {"PWR", SIGPWR},
                                             {"IO", SIGIO},     {"RTMIN+1", SIGRTMIN + 1}}
                      .at(signal);
        EXPECT_EQ(r.code, expected) << signal << ": " << r.output;
        EXPECT_EQ(r.output.substr(0, 2), "1\n") << signal << ": " << r.output;
        EXPECT_EQ(r.output.substr(r.output.size() - 2), "0\n") << signal << ": " << r.output;
        EXPECT_EQ(slurp(path("out.wav")), "precious");
    }
    // A batch ended by any of them stops its workers, which leave nothing behind.
    const Result batch = runShell("cd " + dir.string() +
                                  " && mkfifo b.fifo && exec 3<>b.fifo && cat in.wav >&3\n"
                                  "$T -q --jobs 2 --output-dir done in.wav b.fifo & pid=$!\n"
                                  "for i in $(seq 100); do ls -A done 2>/dev/null | grep -q "
                                  "'^\\.b\\.wav\\.tmp' && break; sleep 0.05; done\n"
                                  "kill -PWR $pid; wait $pid; status=$?; sleep 0.2; rm b.fifo\n"
                                  "ls -A done; exit $status");
    EXPECT_EQ(batch.code, 128 + SIGPWR) << batch.output;
    EXPECT_EQ(batch.output.find(".tmp"), std::string::npos) << batch.output;
}

// Standard output that another program set not to block is waited for, not
// given up on.
TEST_F(FileTool, NonBlockingStandardOutputTakesEverySample) {
    writeAudio(path("in.wav"), noise(8000, 1, 20.0, 14));
    ASSERT_EQ(runTool("-q --raw " + path("in.wav") + " " + path("plain.raw")).code, 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
    const std::string in = path("in.wav");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        execl(TARNIX_FILE_EXE, TARNIX_FILE_EXE, "-q", "--raw", in.c_str(), "-", nullptr);
        _exit(127);
    }
    close(fds[1]);
    usleep(300000);  // the pipe fills and stays full for a while
    std::string got;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        got.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(got.size(), 320000u);
    EXPECT_TRUE(got == slurp(path("plain.raw")));
}

// Raw samples through standard input and output give file mode's samples.
TEST_F(FileTool, PipeModeGivesFileModesSamples) {
    for (int rate : {8000, 44100}) {
        const Audio in = noise(rate, 1, 1.7, rate);
        writeAudio(path("in.wav"), in);
        std::ofstream(path("in.raw"), std::ios::binary)
            << std::string(reinterpret_cast<const char*>(in.samples.data()), in.samples.size() * 2)
            << 'x';  // a lone byte at the end is not a sample
        for (const std::string stereo : {"", "--stereo "}) {
            const std::string options = "-q " + stereo, r = " --rate " + std::to_string(rate);
            ASSERT_EQ(runTool(options + path("in.wav") + " " + path("file.wav")).code, 0);
            const std::string expected = slurp(path("file.wav")).substr(44);
            const Result pipe = runShell("$T " + options + "--raw" + r + " - - < " +
                                         path("in.raw") + " > " + path("pipe.raw"));
            ASSERT_EQ(pipe.code, 0) << pipe.output;
            EXPECT_EQ(slurp(path("pipe.raw")), expected) << rate << stereo;
            ASSERT_EQ(runShell("$T " + options + r + " - " + path("in.wav.out.wav") + " < " +
                               path("in.raw"))
                          .code,
                      0);
            EXPECT_EQ(slurp(path("in.wav.out.wav")), slurp(path("file.wav"))) << rate << stereo;
            ASSERT_EQ(
                runShell("$T " + options + "--raw " + path("in.wav") + " - > " + path("out.raw"))
                    .code,
                0);
            EXPECT_EQ(slurp(path("out.raw")), expected) << rate << stereo;
        }
    }

    // The next program quitting ends the run quietly with SIGPIPE's status.
    const Audio minute = noise(8000, 1, 60.0, 8);
    std::ofstream(path("long.raw"), std::ios::binary) << std::string(
        reinterpret_cast<const char*>(minute.samples.data()), minute.samples.size() * 2);
    Result r = runShell("$T -q --raw --rate 8000 - - < " + path("long.raw") +
                        " | head -c 100 > /dev/null; exit ${PIPESTATUS[0]}");
    EXPECT_EQ(r.code, 128 + 13);
    EXPECT_EQ(r.output, "");

    // A signal ends the input; everything that arrived comes out, tail and all.
    r = runShell("cd " + dir.string() +
                 " && mkfifo in.fifo && exec 3<>in.fifo && head -c 32000 long.raw >&3\n"
                 "$T -q --rate 8000 - cut.wav < in.fifo & pid=$!\n"
                 "sleep 1; kill -INT $pid; wait $pid; status=$?; exit $status");
    EXPECT_EQ(r.code, 128 + 2) << r.output;
    EXPECT_EQ(readAudio(path("cut.wav")).frames(), 16000u);
}

// Samples that outgrow a WAV file's 32-bit sizes go into RF64 (the limit is
// lowered here), from a file or a stream. Names ending in .rf64 or .w64 ask
// for those formats.
TEST_F(FileTool, OutputsLargerThanAWavFileHoldsAreWrittenAsRf64) {
    const Audio in = noise(8000, 1, 10.0, 16);
    writeAudio(path("in.wav"), in);
    std::ofstream(path("in.raw"), std::ios::binary)
        << std::string(reinterpret_cast<const char*>(in.samples.data()), in.samples.size() * 2);
    ASSERT_EQ(runTool("-q --stereo " + path("in.wav") + " " + path("plain.wav")).code, 0);
    const Audio expected = readAudio(path("plain.wav"));
    const std::string limit = "--check-wav-limit 100000 ", file = path("in.wav") + " ";
    struct Case {
        std::string args, output;
        int format;
    } cases[] = {
        {limit + file, "grown.wav", SF_FORMAT_RF64},
        {limit + "--rate 8000 - < " + path("in.raw") + " ", "streamed.wav", SF_FORMAT_RF64},
        {file, "asked.rf64", SF_FORMAT_RF64},
        {file, "asked.W64", SF_FORMAT_W64},
        {"--check-wav-limit 320000 " + file, "fits.wav", SF_FORMAT_WAV},
    };
    for (const Case& c : cases) {
        const size_t files = filesInDir();
        const Result r = runShell("$T -q --stereo " + c.args + path(c.output));
        EXPECT_EQ(r.code, 0) << c.output << ": " << r.output;
        EXPECT_EQ(r.output.find("written as RF64") != std::string::npos,
                  c.format == SF_FORMAT_RF64 && c.output.find(".wav") != std::string::npos)
            << c.output << ": " << r.output;
        SF_INFO info{};
        SNDFILE* f = sf_open(path(c.output).c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr) << c.output;
        sf_close(f);
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, c.format) << c.output;
        EXPECT_TRUE(readAudio(path(c.output)).samples == expected.samples) << c.output;
        EXPECT_EQ(filesInDir(), files + 1) << c.output;  // no temporary file left
    }
    // Grown where it is: what an RF64 file written from the start holds, with
    // no second copy (room for the file once is enough), and the notice
    // never goes into the file when standard error is closed.
    EXPECT_TRUE(slurp(path("grown.wav")) == slurp(path("asked.rf64")));
    const Result closed = runShell("cd " + dir.string() + " && $T -q --stereo " + limit +
                                   "in.wav closed.wav 2>&- && $T -q --stereo " + limit +
                                   "--rate 8000 - closed.raw.wav < in.raw 2>&-");
    EXPECT_EQ(closed.code, 0) << closed.output;
    EXPECT_TRUE(slurp(path("closed.wav")) == slurp(path("grown.wav")));
    EXPECT_TRUE(slurp(path("closed.raw.wav")) == slurp(path("grown.wav")));
    if (geteuid() == 0 && runShell("unshare -m true").code == 0) {
        const Result small = runShell(
            "export T; cd " + dir.string() +
            " && mkdir small && unshare -m bash -c 'mount -t tmpfs -o size=448k tmpfs small"
            " && $T -q --stereo --check-wav-limit 300000 in.wav small/big.wav"
            " && cmp small/big.wav asked.rf64'; status=$?; rmdir small; exit $status");
        EXPECT_EQ(small.code, 0) << small.output;
    }
}

TEST_F(FileTool, BatchWritesEveryInputOnAnyNumberOfJobs) {
    writeAudio(path("a.wav"), noise(8000, 1, 1.0, 11));
    writeAudio(path("b.flac"), noise(22050, 2, 0.7, 12), SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    writeAudio(path("c.wav"), noise(48000, 1, 0.4, 13));
    std::ofstream(path("bad.wav")) << "not audio";
    const std::string inputs =
        path("a.wav") + " " + path("bad.wav") + " " + path("b.flac") + " " + path("c.wav");
    for (int jobs : {1, 3}) {
        const std::string out = path("out" + std::to_string(jobs));
        const Result r =
            runTool("--output-dir " + out + " --jobs " + std::to_string(jobs) + " " + inputs);
        EXPECT_EQ(r.code, 1) << r.output;
        EXPECT_NE(r.output.find("1 of 4 files failed: '" + path("bad.wav") + "'"),
                  std::string::npos)
            << r.output;
        EXPECT_NE(r.output.find("4 files, 3 written, 1 failed"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("real time"), std::string::npos) << r.output;
        for (const char* name : {"a", "b", "c"}) {
            const std::string input = path(name) + (name[0] == 'b' ? ".flac" : ".wav");
            ASSERT_EQ(runTool("-q " + input + " " + path("single.wav")).code, 0);
            EXPECT_EQ(slurp(out + "/" + name + ".wav"), slurp(path("single.wav"))) << name;
        }
        EXPECT_FALSE(fs::exists(out + "/bad.wav"));
    }
    // Short of descriptors, a batch waits for running workers instead of failing files.
    writeAudio(path("tiny.wav"), noise(8000, 1, 0.2, 15));
    std::string many;
    for (int i = 0; i < 60; ++i) {
        fs::copy_file(path("tiny.wav"), path("t" + std::to_string(i) + ".wav"));
        many += " " + path("t" + std::to_string(i) + ".wav");
    }
    const Result starved =
        runShell("ulimit -n 24; $T -q --jobs 50 --output-dir " + path("many") + many);
    EXPECT_EQ(starved.code, 0) << starved.output;
    EXPECT_EQ(std::distance(fs::directory_iterator(path("many")), {}), 60);

    const Result clash =
        runTool("--output-dir " + path("x") + " " + path("a.wav") + " " + path("out1") + "/a.wav");
    EXPECT_EQ(clash.code, 2);
    EXPECT_NE(clash.output.find("would both be written"), std::string::npos) << clash.output;
}

}  // namespace
