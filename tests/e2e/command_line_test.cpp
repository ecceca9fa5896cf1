// The programs' command lines: a value that cannot be used is a usage error
// (status 2) whose message says what is wrong, in every program alike.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "command_output.h"

namespace {

using Result = CommandResult;

Result run(const std::string& program, const std::string& args) {
    return runCommand(program + " " + args + " 2>&1 </dev/null");
}

void expectUsageError(const std::string& program, const std::string& args,
                      const std::string& message) {
    const Result r = run(program, args);
    EXPECT_EQ(r.code, 2) << args << ": " << r.output;
    EXPECT_NE(r.output.find(message), std::string::npos) << args << ": " << r.output;
    EXPECT_LT(r.output.size(), 200u) << args << ": " << r.output;  // no DBL_MAX in full
}

TEST(CommandLine, BadRatesAndDurationsAreUsageErrorsInEveryProgram) {
    for (const std::string program : {TARNIX_LIVE_EXE, TARNIX_FILE_EXE}) {
        const std::string tail = program == TARNIX_FILE_EXE ? " - out.wav" : "";
        expectUsageError(program, "--rate ''" + tail, "--rate: expected a rate");
        expectUsageError(program, "--rate 0" + tail, "--rate: '0' is out of range");
        expectUsageError(program, "--rate abc" + tail, "'abc' is not a number");
        expectUsageError(program, "--rate 8000.5" + tail, "not a whole number of hertz");
        expectUsageError(program, "--rate 08000" + tail, "leading zero; write 8000");
    }
    for (const std::string program : {TARNIX_LIVE_EXE, TARNIX_SNAPSHOT_EXE}) {
        const std::string tail = program == TARNIX_SNAPSHOT_EXE ? " in.wav out.ppm" : "";
        expectUsageError(program, "--seconds nan" + tail, "--seconds: 'nan' is not a number");
        expectUsageError(program, "--seconds -1" + tail, "not more than 0 seconds");
        expectUsageError(program, "--seconds inf" + tail, "not a finite number");
    }
    expectUsageError(TARNIX_SNAPSHOT_EXE, "--seconds 1e300 in.wav out.ppm", "at most 86400");
    expectUsageError(TARNIX_SNAPSHOT_EXE, "- out.ppm", "INPUT cannot be standard input");
    // Whole numbers are decimal, and what is wrong is said in words.
    const std::string tool = TARNIX_FILE_EXE, snapshot = TARNIX_SNAPSHOT_EXE;
    expectUsageError(tool, "--enhance --enhance-floor 40.0 a.wav b.wav",
                     "--enhance-floor: '40.0' is not written as a whole number; write 40");
    expectUsageError(tool, "--enhance --enhance-floor '' a.wav b.wav",
                     "--enhance-floor: expected a whole number from 0 to 40; found nothing");
    expectUsageError(tool, "--enhance --enhance-floor 41 a.wav b.wav", "'41' is out of range");
    expectUsageError(tool, "--jobs 0x10 --output-dir d a.wav", "--jobs: '0x10' is not written");
    expectUsageError(snapshot, "--width 0x100 in.wav out.ppm", "--width: '0x100' is not written");
    expectUsageError(snapshot, "--height 8 in.wav out.ppm", "--height: '8' is out of range");
    // Options that only mean something with --enhance are refused without it.
    expectUsageError(tool, "--enhance-floor 20 a.wav b.wav",
                     "--enhance-floor: only with --enhance");
    expectUsageError(tool, "--expandor a.wav b.wav", "--expandor: only with --enhance");
    expectUsageError(TARNIX_LIVE_EXE, "--expandor", "--expandor: only with --enhance");
    // Every usage error of the snapshot tool exits with 2.
    for (const char* args : {"", "in.wav", "--bogus in.wav out.png", "--width in.wav out.png",
                             "--select 1 in.wav out.png", "a b c"})
        EXPECT_EQ(run(snapshot, args).code, 2) << args;
    // An overflowing duration is capped, not refused: this run gets as far as the device.
    const Result live = run(TARNIX_LIVE_EXE, "--seconds 1e300 --no-mixer --capture /nonexistent");
    EXPECT_EQ(live.code, 1) << live.output;
    // A magnitude too small to hold is near 0, under the floor: this gets as far as the file.
    const Result file = run(TARNIX_FILE_EXE, "--min-amplitude 1e-320 missing.wav out.wav");
    EXPECT_EQ(file.code, 1) << file.output;
    EXPECT_NE(file.output.find("no such file"), std::string::npos) << file.output;
}

// A picture that cannot be written leaves OUTPUT as it was: a device is
// never removed, and an older picture is neither cut short nor deleted.
TEST(Snapshot, AFailedWriteRemovesNothing) {
    const std::string dir = "/tmp/tarnix-snapshot-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    const std::string in = std::string(TARNIX_SOURCE_DIR) + "/samples/demo-noisy.wav";
    { std::ofstream(dir + "/old.ppm") << "older picture"; }
    Result r = run("ulimit -f 8; " + std::string(TARNIX_SNAPSHOT_EXE),
                   "--seconds 1 " + in + " " + dir + "/old.ppm");
    EXPECT_EQ(r.code, 1) << r.output;
    EXPECT_NE(r.output.find("the file-size limit was reached"), std::string::npos) << r.output;
    std::ifstream old(dir + "/old.ppm");
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(old), {}) == "older picture");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
    if (geteuid() == 0) {
        // A node of the full device, which root could otherwise delete.
        ASSERT_EQ(mknod((dir + "/full").c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
        r = run(TARNIX_SNAPSHOT_EXE, "--seconds 1 " + in + " " + dir + "/full");
        EXPECT_EQ(r.code, 1) << r.output;
        EXPECT_NE(r.output.find("No space left"), std::string::npos) << r.output;
        EXPECT_TRUE(std::filesystem::is_character_file(dir + "/full"));
    }
    std::filesystem::remove_all(dir);
}

// The picture never replaces its own input; "-" is standard output, and the
// extension is matched in any case.
TEST(Snapshot, WritesWhereAskedAndNeverOverTheInput) {
    const std::string dir = "/tmp/tarnix-snapshot-out-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    const std::string in = dir + "/in.wav", tool = TARNIX_SNAPSHOT_EXE;
    std::filesystem::copy_file(std::string(TARNIX_SOURCE_DIR) + "/samples/demo-noisy.wav", in);
    std::filesystem::create_symlink("in.wav", dir + "/link.png");
    std::filesystem::create_hard_link(in, dir + "/twin.png");
    const auto size = std::filesystem::file_size(in);
    for (const std::string& out : {in, dir + "/link.png", dir + "/twin.png"}) {
        const Result r = run(tool, "--seconds 1 " + in + " " + out);
        EXPECT_EQ(r.code, 1) << out << ": " << r.output;
        EXPECT_NE(r.output.find("refusing to write over the input"), std::string::npos) << r.output;
        EXPECT_EQ(std::filesystem::file_size(in), size);
    }
    Result r = runCommand(tool + " --seconds 1 --width 0100 " + in + " - 2>/dev/null | od -c");
    EXPECT_EQ(r.output.substr(0, 23), "0000000 211   P   N   G") << r.output.substr(0, 80);
    r = runCommand(tool + " --seconds 1 --width 0100 " + in + " - 2>&1 >/dev/null");
    EXPECT_NE(r.output.find("wrote standard output (100x400)"), std::string::npos) << r.output;
    r = run(tool, "--seconds 1 --width 0100 " + in + " " + dir + "/X.PPM");
    EXPECT_EQ(r.code, 0) << r.output;
    std::ifstream picture(dir + "/X.PPM");
    std::string magic, width;
    picture >> magic >> width;
    EXPECT_EQ(magic + " " + width, "P6 100");
    std::filesystem::remove_all(dir);
}

}  // namespace
