// tarnix-file's output files at their edges: the WAV size limit counted in
// bytes, and how an existing OUTPUT is replaced.
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "command_output.h"

namespace fs = std::filesystem;

namespace {

class FileToolOutput : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tarnix-e2e-out-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const std::string& name) const { return (dir / name).string(); }

    static CommandResult tool(const std::string& args) {
        return runCommand(std::string(TARNIX_FILE_EXE) + " " + args + " 2>&1");
    }
    // Writes mono samples at 8000 Hz in `format`.
    void write(const std::string& name, const std::vector<short>& samples, int format) {
        SF_INFO info{};
        info.samplerate = 8000;
        info.channels = 1;
        info.format = format;
        SNDFILE* f = sf_open(path(name).c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        sf_write_short(f, samples.data(), sf_count_t(samples.size()));
        sf_close(f);
    }
    // The file's format and samples (empty when it is not audio).
    std::pair<int, std::vector<short>> read(const std::string& name) const {
        SF_INFO info{};
        SNDFILE* f = sf_open(path(name).c_str(), SFM_READ, &info);
        if (!f) return {};
        std::vector<short> v(size_t(info.frames * info.channels));
        sf_readf_short(f, v.data(), info.frames);
        sf_close(f);
        return {info.format & SF_FORMAT_TYPEMASK, v};
    }
    std::vector<short> noise(size_t n) const {
        std::vector<short> v(n);
        unsigned x = 1;
        for (auto& s : v)
            s = short(int((x = x * 1103515245u + 12345u) >> 16 & 0x3FFF) - 0x2000);
        return v;
    }
    fs::path dir;
};

TEST_F(FileToolOutput, TheWavLimitIsCountedInBytesAndRf64IsAnnouncedOnce) {
    // Ten seconds at 8000 Hz: 160000 bytes of samples, written in chunks.
    write("in.wav", noise(80000), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    ASSERT_EQ(tool("-q " + path("in.wav") + " " + path("plain.wav")).code, 0);
    const auto plain = read("plain.wav").second;
    for (auto [limit, format] :
         {std::pair{160000, SF_FORMAT_WAV}, std::pair{159998, SF_FORMAT_RF64},
          std::pair{1000, SF_FORMAT_RF64}}) {
        const CommandResult r = tool("--check-wav-limit " + std::to_string(limit) + " " +
                                     path("in.wav") + " " + path("out.wav"));
        EXPECT_EQ(r.code, 0) << r.output;
        size_t notices = 0;
        for (size_t at = 0; (at = r.output.find("written as RF64", at)) != std::string::npos; ++at)
            ++notices;
        EXPECT_EQ(notices, format == SF_FORMAT_RF64 ? 1u : 0u) << limit << ": " << r.output;
        const auto [got, samples] = read("out.wav");
        EXPECT_EQ(got, format) << limit;
        EXPECT_TRUE(samples == plain) << limit;
    }
}

TEST_F(FileToolOutput, AnOutputWithOneNameIsReplacedByANewFile) {
    write("in.wav", noise(8000), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::ofstream(path("out.wav")) << "the old contents";
    // Whoever still has the old file open keeps reading what it held.
    const int old = open(path("out.wav").c_str(), O_RDONLY);
    ASSERT_GE(old, 0);
    struct stat before {
    }, after{};
    ASSERT_EQ(fstat(old, &before), 0);
    const CommandResult r = tool("-q " + path("in.wav") + " " + path("out.wav"));
    ASSERT_EQ(r.code, 0) << r.output;
    ASSERT_EQ(stat(path("out.wav").c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    char text[64] = {};
    EXPECT_EQ(pread(old, text, sizeof text - 1, 0), 16);
    EXPECT_STREQ(text, "the old contents");
    close(old);
    EXPECT_EQ(read("out.wav").second.size(), 8000u);
}

TEST_F(FileToolOutput, AReadOnlyOutputOfAnOrdinaryUserIsReplacedAndStaysReadOnly) {
    // As root every file is writable: the case is run as nobody, in a
    // directory of nobody's own.
    if (geteuid() != 0 || system("command -v setpriv > /dev/null") != 0)
        GTEST_SKIP() << "needs root and setpriv to run as another user";
    write("in.wav", noise(8000), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    fs::permissions(dir, fs::perms::all);
    const std::string mine = path("nobody");
    fs::create_directory(mine);
    std::ofstream(mine + "/out.wav") << "read only";
    ASSERT_EQ(chown(mine.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown((mine + "/out.wav").c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod((mine + "/out.wav").c_str(), 0444), 0);
    const CommandResult r = runCommand("setpriv --reuid=65534 --regid=65534 --clear-groups " +
                                       std::string(TARNIX_FILE_EXE) + " -q " + path("in.wav") +
                                       " " + mine + "/out.wav 2>&1");
    EXPECT_EQ(r.code, 0) << r.output;
    struct stat st {};
    ASSERT_EQ(stat((mine + "/out.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(read("nobody/out.wav").second.size(), 8000u);
}

}  // namespace
