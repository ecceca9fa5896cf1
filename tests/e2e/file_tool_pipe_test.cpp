// tarnix-file between pipes: input in odd pieces, a WAV of unknown length,
// what a signal leaves to be written, and a second signal that cannot wait;
// and an empty input named as such whatever is wrong with the output.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "command_output.h"

namespace fs = std::filesystem;

namespace {

using ShellRun = CommandResult;  // standard output and standard error together

// Runs a bash script in `dir` with the tool as $T.
ShellRun shell(const fs::path& dir, const std::string& script) {
    const fs::path file = dir / "script.sh";
    std::ofstream(file) << "T='" << TARNIX_FILE_EXE << "'\ncd '" << dir.string() << "'\n"
                        << script << "\n";
    return runCommand("bash '" + file.string() + "' 2>&1");
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Raw 16-bit little-endian noise, and the same samples as a mono WAV.
std::string rawNoise(size_t frames, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(-8000, 8000);
    std::string raw(frames * 2, '\0');
    for (size_t i = 0; i < frames; ++i) {
        const auto v = static_cast<uint16_t>(static_cast<int16_t>(dist(rng)));
        raw[2 * i] = static_cast<char>(v & 0xFF);
        raw[2 * i + 1] = static_cast<char>(v >> 8);
    }
    return raw;
}

std::string wavOf(const std::string& raw, uint32_t rate, uint32_t riffSize, uint32_t dataSize) {
    std::string h;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h += static_cast<char>(v >> (8 * i) & 0xFF);
    };
    auto u16 = [&](uint16_t v) {
        h += static_cast<char>(v & 0xFF);
        h += static_cast<char>(v >> 8);
    };
    h += "RIFF";
    u32(riffSize);
    h += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    h += "data";
    u32(dataSize);
    return h + raw;
}

class FilePipes : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tarnix-pipes-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(FilePipes, InputInOddPiecesGivesFileModesSamples) {
    const std::string raw = rawNoise(8000, 1);
    std::ofstream(dir / "in.raw", std::ios::binary) << raw;
    std::ofstream(dir / "in.wav", std::ios::binary) << wavOf(
        raw, 8000, static_cast<uint32_t>(36 + raw.size()), static_cast<uint32_t>(raw.size()));
    // Pieces of 777 bytes and of 1, so samples are split between reads.
    const ShellRun r = shell(dir,
                             "$T -q --raw in.wav - > file.raw || exit 1\n"
                             "exec 3< in.raw\n"
                             "{ while :; do dd bs=777 count=1 status=none <&3 > piece; "
                             "[ -s piece ] || break; cat piece; sleep 0.002; "
                             "dd bs=1 count=1 status=none <&3; done; } | "
                             "$T -q --raw --rate 8000 - - > pipe.raw");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(slurp(dir / "file.raw").size(), raw.size());
    EXPECT_EQ(slurp(dir / "pipe.raw"), slurp(dir / "file.raw"));
}

// A pipe takes the streaming path: the file's samples at every rate, mono and
// simulated stereo.
TEST_F(FilePipes, EveryRateAndStereoGiveFileModesSamples) {
    const ShellRun r =
        shell(dir,
              "for rate in 8000 11025 22050 44100 48000; do\n"
              "  sox -q '" TARNIX_SOURCE_DIR
              "/samples/demo-noisy.wav' -r $rate -c 1 -b 16 in.wav "
              "trim 0 2 && sox in.wav -t raw in.raw || exit 1\n"
              "  for opts in '' '--stereo --noise-floor 70' '--prefilter voice --lms'; do\n"
              "    $T -q --raw $opts in.wav - > file.raw || exit 1\n"
              "    cat in.raw | $T -q --raw --rate $rate $opts - - > pipe.raw || exit 1\n"
              "    cmp -s file.raw pipe.raw || echo \"differs: $rate $opts\"\n"
              "  done\n"
              "done");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.output, "");
}

// Each output sample is written as soon as it is final: with the input
// stopped at the end of a hop and the pipe still open, all but the last
// 1280 samples (a frame and the pipeline's delay, less the hop that just
// ended) are out, and nothing more.
TEST_F(FilePipes, OutputTrailsAnOpenInputByTheStreamingLatencyOnly) {
    std::ofstream(dir / "in.raw", std::ios::binary) << rawNoise(256 * 40, 2);
    const ShellRun r = shell(dir,
                             "mkfifo in.fifo\n"
                             "$T -q --raw --rate 11025 - - < in.fifo > out.raw & pid=$!\n"
                             "exec 3> in.fifo\n"
                             "cat in.raw >&3\n"
                             "want=$(( (256 * 40 - 1280) * 2 ))\n"
                             "for i in $(seq 300); do\n"
                             "  [ $(stat -c %s out.raw) -ge $want ] && break; sleep 0.1\n"
                             "done\n"
                             "sleep 0.3\n"
                             "echo $(stat -c %s out.raw) of $want\n"
                             "exec 3>&-\n"
                             "wait $pid; echo $(stat -c %s out.raw)");
    EXPECT_EQ(r.output, "17920 of 17920\n20480\n");
}

TEST_F(FilePipes, APipedWavOfUnknownLengthWarnsOfNothing) {
    const std::string raw = rawNoise(4000, 2);
    std::ofstream(dir / "in.wav", std::ios::binary)
        << wavOf(raw, 8000, 0x7FFFFFFF, 0x7FFFFFFF);  // as a writer into a pipe leaves it
    const ShellRun r = shell(dir, "cat in.wav | $T /dev/stdin out.wav");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(r.output.find("warning"), std::string::npos) << r.output;
    EXPECT_EQ(slurp(dir / "out.wav").size(), 44 + raw.size());
}

TEST_F(FilePipes, WhatWaitsInThePipeAtSigintIsStillWritten) {
    std::ofstream(dir / "in.raw", std::ios::binary) << rawNoise(16000, 3);
    // The run is stopped while the second half arrives and the signal comes,
    // so both wait for it when it goes on.
    const ShellRun r =
        shell(dir,
              "mkfifo in.fifo && exec 3<>in.fifo && head -c 16000 in.raw >&3\n"
              "$T -q --rate 8000 - cut.wav < in.fifo & pid=$!\n"
              "for i in $(seq 100); do ls -A | grep -q '^\\.cut\\.wav\\.tmp' && break; "
              "sleep 0.05; done\n"
              "sleep 0.2; kill -STOP $pid\n"
              "tail -c 16000 in.raw >&3; kill -INT $pid; kill -CONT $pid\n"
              "wait $pid; exit $?");
    EXPECT_EQ(r.code, 128 + 2) << r.output;
    const std::string out = slurp(dir / "cut.wav");
    ASSERT_GE(out.size(), 44u);
    EXPECT_EQ(out.size() - 44, 32000u);
}

TEST_F(FilePipes, ASecondSignalWhileTheOutputIsBlockedEndsAtOnce) {
    std::ofstream(dir / "in.raw", std::ios::binary) << rawNoise(8000 * 20, 4);
    // Nobody reads the output FIFO: once it is full the run waits in a write.
    const ShellRun r =
        shell(dir,
              "mkfifo out.fifo && exec 4<>out.fifo\n"
              "$T -q --raw --rate 8000 - - < in.raw > out.fifo & pid=$!\n"
              "for i in $(seq 100); do grep -q pipe_write /proc/$pid/wchan 2>/dev/null && break; "
              "sleep 0.05; done\n"
              "kill -INT $pid; sleep 0.3; kill -0 $pid && echo waiting\n"
              "kill -INT $pid\n"
              "for i in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.05; done\n"
              "kill -0 $pid 2>/dev/null && { echo stuck; kill -KILL $pid; }\n"
              "wait $pid; exit $?");
    EXPECT_EQ(r.code, 128 + 2) << r.output;
    EXPECT_EQ(r.output, "waiting\n");
}

TEST_F(FilePipes, AnEmptyInputIsNamedBeforeAMissingOutputFolder) {
    std::ofstream(dir / "zero.wav", std::ios::binary) << wavOf("", 8000, 36, 0);
    const ShellRun r = shell(dir, "$T zero.wav missing/out.wav");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.output, "tarnix-file: 'zero.wav': holds no audio samples\n");
}

}  // namespace
