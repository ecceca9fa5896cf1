#include "mixer/listing.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "mixer_fixture.h"

using namespace platform;

namespace {

constexpr std::time_t kWhen = 1709622489;  // Tue Mar 05 07:08:09 2024 UTC

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class ListingTest : public MixerTest {
  protected:
    void SetUp() override {
        MixerTest::SetUp();
#ifdef _WIN32
        _putenv_s("TZ", "UTC0");
        _tzset();
#else
        setenv("TZ", "UTC0", 1);
        tzset();
#endif
        dir =
            std::filesystem::temp_directory_path() /
            ("tarnix_listing_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        path = (dir / kMixerListFileName).string();
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        MixerTest::TearDown();
    }
    void expectListing(const std::string& expectedFile) {
        ASSERT_TRUE(writeMixerListing(mixer, path.c_str(), kWhen));
        EXPECT_EQ(readFile(path), readFile(fixturePath(expectedFile)));
    }

    std::filesystem::path dir;
    std::string path;
};

TEST_F(ListingTest, ClassicCardAfterARefresh) {
    start("classic.json");
    mixer.refreshLevels();
    expectListing("classic.listing.txt");
}

TEST_F(ListingTest, CutSourceListsAndAMultipleSelectList) {
    start("source_controls_fail.json");
    expectListing("source_controls_fail.listing.txt");
}

TEST_F(ListingTest, NoMixerAtAll) {
    start("no_mixer.json");
    expectListing("no_mixer.listing.txt");
}

TEST_F(ListingTest, ReplacesAnExistingFileAndEndsEveryLineWithCrLf) {
    start("no_mixer.json");
    { std::ofstream(path) << std::string(10000, '#'); }
    ASSERT_TRUE(writeMixerListing(mixer, path.c_str(), kWhen));
    const std::string text = readFile(path);
    EXPECT_EQ(text.find('#'), std::string::npos);
    size_t bareLineFeeds = 0;
    for (size_t i = 0; i < text.size(); ++i)
        bareLineFeeds += text[i] == '\n' && (i == 0 || text[i - 1] != '\r');
    EXPECT_EQ(bareLineFeeds, 0u);
    EXPECT_EQ(text.substr(text.size() - 15), "\r\nEnd-of-List\r\n");
}

TEST_F(ListingTest, UnopenableFileShowsTheMessageAndLeavesNothing) {
    start("classic.json");
    const std::string bad = (dir / "missing" / kMixerListFileName).string();
    EXPECT_FALSE(writeMixerListing(mixer, bad.c_str(), kWhen));
    EXPECT_EQ(onlyBox().text, "debug file fopen Error!");
    EXPECT_EQ(onlyBox().caption, "CMixer::initialize");
    EXPECT_EQ(onlyBox().owner, &window);
    EXPECT_FALSE(std::filesystem::exists(bad));
}

TEST_F(ListingTest, DateLineHasALeadingZeroAndEnglishNames) {
    EXPECT_EQ(listingDate(kWhen), "Tue Mar 05 07:08:09 2024\n");
    EXPECT_EQ(listingDate(0), "Thu Jan 01 00:00:00 1970\n");
}

TEST_F(ListingTest, DumpDialogWritesOnCreateFileOnly) {
    start("no_mixer.json");
    DumpDialog cancel(mixer);
    cancel.pszPath = path.c_str();
    EXPECT_TRUE(cancel.initDialog());
    EXPECT_FALSE(cancel.command(4711));
    EXPECT_TRUE(cancel.command(kIdCancel));
    EXPECT_TRUE(cancel.ended());
    EXPECT_FALSE(std::filesystem::exists(path));

    DumpDialog create(mixer);
    create.pszPath = path.c_str();
    create.now = [] { return kWhen; };
    EXPECT_TRUE(create.command(kIdOk));
    EXPECT_TRUE(create.ended());
    EXPECT_EQ(create.result(), 0);
    EXPECT_EQ(readFile(path), readFile(fixturePath("no_mixer.listing.txt")));
}

// The dialog knows the full path of what it wrote, since the working
// directory is where the file goes.
TEST_F(ListingTest, DumpDialogKnowsWhereTheFileWent) {
    start("classic.json");
    const std::filesystem::path home = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    DumpDialog create(mixer);
    create.command(kIdOk);
    std::filesystem::current_path(home);
    EXPECT_EQ(create.writtenTo(), (std::filesystem::absolute(dir) / kMixerListFileName).string());
    EXPECT_TRUE(std::filesystem::exists(dir / kMixerListFileName));

    DumpDialog cancel(mixer);
    cancel.command(kIdCancel);
    EXPECT_EQ(cancel.writtenTo(), "");
}

}  // namespace
