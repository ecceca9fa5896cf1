// ALSA devices that stop for a while or go away: the capture device through
// the file plugin, whose input is a FIFO the test writes, and a device that is
// unplugged while it runs.
#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "engine/audio_engine.h"
#include "platform/alsa/alsa_wave.h"
#include "support/host_fixture.h"

namespace {

using namespace platform;
namespace fs = std::filesystem;

// Devices from the test's own ALSA configuration, read in addition to the
// system's for the test's time.
class AlsaConfigured : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        dir = fs::temp_directory_path() / ("tarnix-alsa-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void configure(const std::string& text) {
        const std::string conf = (dir / "asound.conf").string();
        std::ofstream(conf) << text;
        const char* before = std::getenv("ALSA_CONFIG_PATH");
        saved = before ? before : "";
        setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + conf).c_str(), 1);
        snd_config_update_free_global();  // read again with the test's devices
    }
    void TearDown() override {
        if (saved.empty())
            unsetenv("ALSA_CONFIG_PATH");
        else
            setenv("ALSA_CONFIG_PATH", saved.c_str(), 1);
        snd_config_update_free_global();
        fs::remove_all(dir);
        HostTest::TearDown();
    }
    // Waits until `count` messages are queued (or `ms` passed).
    bool waitFor(size_t count, int ms = 1000) {
        for (int i = 0; i < ms / 5 && host.pending() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return host.pending() >= count;
    }
    fs::path dir;
    std::string saved;
    WAVEHDR headers[3]{};
    int16_t buffers[3][8192]{};
};

// The capture device through the file plugin, whose input is a FIFO the test
// writes.
class AlsaFileInput : public AlsaConfigured {
  protected:
    void SetUp() override {
        AlsaConfigured::SetUp();
        const std::string fifo = (dir / "in.fifo").string();
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        writer = open(fifo.c_str(), O_RDWR);  // a writer from the start: opening never blocks
        ASSERT_GE(writer, 0);
        configure("pcm.fifo { type file slave.pcm \"null\" file \"/dev/null\" infile \"" + fifo +
                  "\" format \"raw\" }\n");
    }
    void TearDown() override {
        if (writer >= 0) close(writer);
        AlsaConfigured::TearDown();
    }
    void feed(int16_t value, size_t count) {
        std::vector<int16_t> v(count, value);
        ASSERT_EQ(write(writer, v.data(), v.size() * 2), ssize_t(v.size() * 2));
    }
    int writer = -1;
};

// Re-queues every buffer that comes back, counting those that came back with
// an error.
struct Requeue : MessageTarget {
    WaveIn* in = nullptr;
    int done = 0, failed = 0;
    intptr_t handleMessage(uint32_t, uintptr_t, intptr_t l) override {
        auto* h = reinterpret_cast<WAVEHDR*>(l);
        if (in->unprepareHeader(h) != kMmsyserrNoError) ++failed;
        ++done;
        if (in->prepareHeader(h) == kMmsyserrNoError) in->addBuffer(h);
        return 0;
    }
};

// Input through the file plugin waits inside ALSA for its writer, another
// program filling the FIFO: a writer that pauses for four seconds is not a
// failed device.
TEST_F(AlsaFileInput, AWriterThatPausesIsNotAFailedDevice) {
    Requeue requeue;
    auto in = alsa::makeWaveIn("fifo");
    requeue.in = in.get();
    ASSERT_EQ(in->open(engine::pcmFormat(1, 8000), &requeue), kMmsyserrNoError);
    for (int i = 0; i < 3; ++i) {
        engine::fillHeader(headers[i], buffers[i], 2 * 400, static_cast<uint32_t>(i));
        in->prepareHeader(&headers[i]);
        in->addBuffer(&headers[i]);
    }
    in->start();
    const auto pump = [&](int ms) {
        for (int t = 0; t < ms && !requeue.failed; t += 10) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            host.runUntilIdle();
        }
    };
    for (int i = 0; i < 20 && !requeue.failed; ++i) {
        if (i == 10) pump(4000);
        feed(int16_t(i), 400);
        pump(50);
    }
    feed(0, 1200);
    pump(500);
    EXPECT_EQ(requeue.failed, 0);
    EXPECT_GE(requeue.done, 20);
    // The writer gone, the device thread waiting for it comes out of ALSA,
    // so that closing ends it instead of leaving it behind with its PCM.
    close(writer);
    writer = -1;
    in->reset();
    in->close();
}

// A process stopped as a whole (SIGSTOP, Ctrl-Z) and continued seconds later
// keeps its devices: its device threads were not stuck inside ALSA. The
// device runs in a child, which the test stops and continues.
TEST_F(AlsaFileInput, AProcessStoppedAndContinuedKeepsItsDevice) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Any error ends the child with status 1.
        Requeue requeue;
        auto in = alsa::makeWaveIn("fifo");
        requeue.in = in.get();
        if (in->open(engine::pcmFormat(1, 8000), &requeue) != kMmsyserrNoError) _exit(2);
        for (int i = 0; i < 3; ++i) {
            engine::fillHeader(headers[i], buffers[i], 2 * 400, i);
            in->prepareHeader(&headers[i]);
            in->addBuffer(&headers[i]);
        }
        in->start();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (requeue.done < 40 && !requeue.failed && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            host.runUntilIdle();
        }
        in->reset();
        in->close();
        _exit(requeue.failed ? 1 : requeue.done < 40 ? 3 : 0);
    }
    // Fed at about the rate, 50 ms at a time; stopped for four seconds in
    // the middle.
    for (int i = 0; i < 40; ++i) {
        if (i == 20) {
            kill(child, SIGSTOP);
            std::this_thread::sleep_for(std::chrono::seconds(4));
            kill(child, SIGCONT);
        }
        feed(int16_t(i), 400);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    feed(0, 2000);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the device failed; 2: it did not open; 3: too slow";
}

// A device unplugged 300 ms after its first start, as a USB adapter pulled
// from its socket.
class AlsaUnplugged : public AlsaConfigured {
  protected:
    void SetUp() override {
        AlsaConfigured::SetUp();
        configure("pcm_type.tarnix_failing { lib \"" TARNIX_FAILING_PCM
                  "\" }\n"
                  "pcm.unplugged { type tarnix_failing after_ms 300 }\n");
    }
    // Queues buffer i (100 ms at 8000 Hz) and waits for it to come back;
    // returns what unpreparing it says.
    template <class Device, class Add>
    MMRESULT roundTrip(Device& device, Add add, int i) {
        engine::fillHeader(headers[i], buffers[i], 2 * 800, static_cast<uint32_t>(i));
        device.prepareHeader(&headers[i]);
        EXPECT_EQ(add(&headers[i]), kMmsyserrNoError);
        EXPECT_TRUE(waitFor(1, 3000));
        host.runUntilIdle();
        EXPECT_EQ(returned.last, &headers[i]);
        return device.unprepareHeader(&headers[i]);
    }
    // The loss's text names the device and what became of it.
    template <class Device, class Add>
    void expectLossWithTheNextBuffer(Device& device, Add add, const char* text) {
        EXPECT_EQ(roundTrip(device, add, 0), kMmsyserrNoError);
        // Unplugged meanwhile, while it held no buffer: nothing to say yet.
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        EXPECT_EQ(host.pending(), 0u);
        const MMRESULT lost = roundTrip(device, add, 1);
        EXPECT_NE(lost, kMmsyserrNoError);
        char said[256] = "";
        EXPECT_EQ(device.getErrorText(lost, said, sizeof said), kMmsyserrNoError);
        EXPECT_STREQ(said, text);
        device.reset();
        EXPECT_EQ(device.close(), kMmsyserrNoError);
    }
    struct Returned : MessageTarget {
        WAVEHDR* last = nullptr;
        intptr_t handleMessage(uint32_t, uintptr_t, intptr_t l) override {
            last = reinterpret_cast<WAVEHDR*>(l);
            return 0;
        }
    } returned;
};

TEST_F(AlsaUnplugged, PlaybackReportsTheLossWithTheNextBufferQueued) {
    auto out = alsa::makeWaveOut("unplugged");
    ASSERT_EQ(out->open(engine::pcmFormat(1, 8000), &returned), kMmsyserrNoError);
    expectLossWithTheNextBuffer(
        *out, [&](WAVEHDR* h) { return out->write(h); },
        "the playback device \"unplugged\" stopped: the sound server or the card went away");
}

TEST_F(AlsaUnplugged, CaptureReportsTheLossWithTheNextBufferQueued) {
    auto in = alsa::makeWaveIn("unplugged");
    ASSERT_EQ(in->open(engine::pcmFormat(1, 8000), &returned), kMmsyserrNoError);
    ASSERT_EQ(in->start(), kMmsyserrNoError);
    expectLossWithTheNextBuffer(
        *in, [&](WAVEHDR* h) { return in->addBuffer(h); },
        "the capture device \"unplugged\" stopped: the sound server or the card went away");
}

// With no sound server (or card) to answer, or no device of the name, the box
// says which device and what to check, whichever device turns the code into
// text (the core asks the capture device for playback errors too).
TEST_F(AlsaConfigured, AnOpenNothingAnswersNamesTheDeviceAndTheServer) {
    configure("pcm.noserver { type pulse server \"unix:" + (dir / "no-socket").string() + "\" }\n");
    constexpr const char* kNoServer =
        "no sound server or card answered (is PipeWire or PulseAudio running?)";
    struct : MessageTarget {
        intptr_t handleMessage(uint32_t, uintptr_t, intptr_t) override { return 0; }
    } target;
    char text[256];
    auto out = alsa::makeWaveOut("noserver");
    const MMRESULT refused = out->open(engine::pcmFormat(1, 8000), &target);
    ASSERT_NE(refused, kMmsyserrNoError);
    auto in = alsa::makeWaveIn("no-such-pcm-here");
    in->getErrorText(refused, text, sizeof text);
    EXPECT_EQ(std::string(text),
              std::string("cannot open the playback device \"noserver\": ") + kNoServer);
    // A name ALSA does not know is not a server's fault.
    in->getErrorText(in->open(engine::pcmFormat(1, 8000), &target), text, sizeof text);
    EXPECT_STREQ(text,
                 "cannot open the capture device \"no-such-pcm-here\": ALSA knows no "
                 "device of that name (aplay -L lists them)");
    in->getErrorText(alsa::deviceErrorCode(-EBUSY, "hw:0", false, alsa::Stage::Open), text,
                     sizeof text);
    EXPECT_STREQ(text, "cannot open the capture device \"hw:0\": another program holds it");
}

}  // namespace
