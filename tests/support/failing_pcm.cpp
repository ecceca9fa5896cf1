// An ALSA PCM that plays or records silence in real time and is unplugged a
// set time after its first start, as a USB adapter pulled from its socket:
// from then on every call on it answers "no such device". Loaded by ALSA
// from a configuration such as
//   pcm_type.tarnix_failing { lib "/path/to/this.so" }
//   pcm.unplugged { type tarnix_failing after_ms 500 }
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

struct FailingPcm {
    snd_pcm_ioplug_t io{};
    long afterMs = 500;
    bool started = false;  // since the first start
    Clock::time_point firstStart{};
    Clock::time_point runningSince{};
    snd_pcm_uframes_t base = 0;  // the position at runningSince
    bool running = false;
};

FailingPcm* self(snd_pcm_ioplug_t* io) {
    return static_cast<FailingPcm*>(io->private_data);
}

bool gone(FailingPcm* d) {
    if (!d->started || Clock::now() - d->firstStart < std::chrono::milliseconds(d->afterMs))
        return false;
    snd_pcm_ioplug_set_state(&d->io, SND_PCM_STATE_DISCONNECTED);
    return true;
}

// Frames the device has moved since its start, by the clock; playback never
// passes what was written to it (it would underrun instead).
snd_pcm_uframes_t position(FailingPcm* d) {
    if (!d->running) return d->base;
    const auto us =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - d->runningSince);
    snd_pcm_uframes_t pos =
        d->base + static_cast<snd_pcm_uframes_t>(us.count()) * d->io.rate / 1000000;
    if (d->io.stream == SND_PCM_STREAM_PLAYBACK)
        pos = std::min(pos, static_cast<snd_pcm_uframes_t>(d->io.appl_ptr));
    return pos;
}

int start(snd_pcm_ioplug_t* io) {
    FailingPcm* d = self(io);
    if (gone(d)) return -ENODEV;
    if (!d->started) {
        d->started = true;
        d->firstStart = Clock::now();
    }
    d->running = true;
    d->runningSince = Clock::now();
    d->base = io->hw_ptr;
    return 0;
}

int stop(snd_pcm_ioplug_t* io) {
    FailingPcm* d = self(io);
    d->base = position(d);
    d->running = false;
    return 0;
}

int prepare(snd_pcm_ioplug_t* io) {
    FailingPcm* d = self(io);
    if (gone(d)) return -ENODEV;
    d->running = false;
    d->base = 0;
    return 0;
}

snd_pcm_sframes_t pointer(snd_pcm_ioplug_t* io) {
    FailingPcm* d = self(io);
    if (gone(d)) return -ENODEV;
    return static_cast<snd_pcm_sframes_t>(position(d) % io->buffer_size);
}

snd_pcm_sframes_t transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                           snd_pcm_uframes_t offset, snd_pcm_uframes_t size) {
    FailingPcm* d = self(io);
    if (gone(d)) return -ENODEV;
    if (io->stream == SND_PCM_STREAM_CAPTURE) {
        auto* at =
            static_cast<char*>(areas[0].addr) + (areas[0].first + areas[0].step * offset) / 8;
        std::memset(at, 0, size * io->channels * 2);
    }
    return static_cast<snd_pcm_sframes_t>(size);
}

int close(snd_pcm_ioplug_t* io) {
    FailingPcm* d = self(io);
    ::close(io->poll_fd);
    delete d;
    return 0;
}

snd_pcm_ioplug_callback_t makeCallbacks() {
    snd_pcm_ioplug_callback_t c{};
    c.start = start;
    c.stop = stop;
    c.pointer = pointer;
    c.transfer = transfer;
    c.close = close;
    c.prepare = prepare;
    return c;
}
const snd_pcm_ioplug_callback_t callbacks = makeCallbacks();

}  // namespace

extern "C" {

SND_PCM_PLUGIN_DEFINE_FUNC(tarnix_failing) {
    (void)root;
    long afterMs = 500;
    snd_config_iterator_t i, next;
    snd_config_for_each(i, next, conf) {
        snd_config_t* n = snd_config_iterator_entry(i);
        const char* id;
        if (snd_config_get_id(n, &id) < 0) continue;
        if (!std::strcmp(id, "comment") || !std::strcmp(id, "type") || !std::strcmp(id, "hint"))
            continue;
        if (!std::strcmp(id, "after_ms") && snd_config_get_integer(n, &afterMs) == 0) continue;
        SNDERR("unknown field %s", id);
        return -EINVAL;
    }
    auto* d = new FailingPcm;
    d->afterMs = afterMs;
    d->io.version = SND_PCM_IOPLUG_VERSION;
    d->io.name = "a device that is unplugged";
    d->io.callback = &callbacks;
    d->io.private_data = d;
    // Always ready: the device is paced by its position alone.
    d->io.poll_fd = eventfd(1, EFD_NONBLOCK | EFD_CLOEXEC);
    d->io.poll_events = stream == SND_PCM_STREAM_PLAYBACK ? POLLOUT : POLLIN;
    int e = snd_pcm_ioplug_create(&d->io, name, stream, mode);
    if (e < 0) {
        ::close(d->io.poll_fd);
        delete d;
        return e;
    }
    const unsigned access[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
    const unsigned format[] = {SND_PCM_FORMAT_S16_LE};
    if ((e = snd_pcm_ioplug_set_param_list(&d->io, SND_PCM_IOPLUG_HW_ACCESS, 1, access)) < 0 ||
        (e = snd_pcm_ioplug_set_param_list(&d->io, SND_PCM_IOPLUG_HW_FORMAT, 1, format)) < 0 ||
        (e = snd_pcm_ioplug_set_param_minmax(&d->io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 2)) < 0 ||
        (e = snd_pcm_ioplug_set_param_minmax(&d->io, SND_PCM_IOPLUG_HW_RATE, 8000, 48000)) < 0 ||
        (e = snd_pcm_ioplug_set_param_minmax(&d->io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64,
                                             64 * 1024)) < 0 ||
        (e = snd_pcm_ioplug_set_param_minmax(&d->io, SND_PCM_IOPLUG_HW_PERIODS, 2, 1024)) < 0) {
        snd_pcm_ioplug_delete(&d->io);
        return e;
    }
    *pcmp = d->io.pcm;
    return 0;
}

SND_PCM_PLUGIN_SYMBOL(tarnix_failing)
}
