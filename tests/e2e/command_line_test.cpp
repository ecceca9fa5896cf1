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

}  // namespace
