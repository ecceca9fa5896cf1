#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "platform/alsa/alsa_mixer.h"

#include "platform/alsa/alsa_wave.h"
#include "platform/alsa/bounded_open.h"

namespace alsa {

using namespace platform;

namespace {

constexpr HMIXER kHandle = 1;
constexpr uint32_t kEventsMessage = 0x0400;  // private: the mixer has events

// The mixers to try, in order: the first card's own, then the default one.
std::vector<std::string> mixerNames() {
    int card = -1;
    if (snd_card_next(&card) == 0 && card == 0) return {"hw:0", "default"};
    return {"default"};
}

std::string cardName(const std::string& mixer) {
    if (mixer != "hw:0") return "Default Mixer";
    char* name = nullptr;
    if (snd_card_get_name(0, &name) < 0 || !name) return "Card 0";
    std::string result = name;
    free(name);
    return result;
}

class AlsaMixer final : public MixerDevice, public MessageTarget {
  public:
    ~AlsaMixer() override { closeMixer(); }

    uint32_t mixerGetNumDevs() override { return ensureLoaded() ? 1 : 0; }

    MMRESULT mixerOpen(HMIXER* phmx, uint32_t uMxId, MessageTarget* target, uintptr_t,
                       uint32_t fdwOpen) override {
        if (!phmx) return kMmsyserrInvalParam;
        if (uMxId != 0 || !ensureLoaded()) return kMmsyserrBadDeviceId;
        if (open_) return kMmsyserrAllocated;
        target_ = (fdwOpen & kCallbackWindow) ? target : nullptr;
        open_ = true;
        snapshot();
        if (target_) startWatching();
        *phmx = kHandle;
        return kMmsyserrNoError;
    }

    MMRESULT mixerGetDevCapsA(uint32_t uMxId, MIXERCAPSA* caps, uint32_t size) override {
        if (!caps || size < sizeof(MIXERCAPSA)) return kMmsyserrInvalParam;
        if (uMxId != 0 || !ensureLoaded()) return kMmsyserrBadDeviceId;
        *caps = map_.caps;
        return kMmsyserrNoError;
    }

    MMRESULT mixerGetLineInfoA(HMIXER hmx, MIXERLINEA* l, uint32_t flags) override {
        if (hmx != kHandle || !open_) return kMmsyserrInvalHandle;
        if (!l || l->cbStruct < sizeof(MIXERLINEA)) return kMmsyserrInvalParam;
        if (l->dwDestination >= map_.destinations.size()) return kMixerrInvalLine;
        const MappedLine& dest = map_.destinations[l->dwDestination];
        if (flags == kMixerGetLineInfoFDestination) {
            *l = dest.info;
            return kMmsyserrNoError;
        }
        if (flags != kMixerGetLineInfoFSource) return kMmsyserrInvalFlag;
        if (l->dwSource >= dest.sources.size()) return kMixerrInvalLine;
        *l = dest.sources[l->dwSource].info;
        return kMmsyserrNoError;
    }

    MMRESULT mixerGetLineControlsA(HMIXER hmx, MIXERLINECONTROLSA* lc, uint32_t flags) override {
        if (hmx != kHandle || !open_) return kMmsyserrInvalHandle;
        if (!lc || flags != kMixerGetLineControlsFAll) return kMmsyserrInvalFlag;
        const MappedLine* l = lineById(lc->dwLineID);
        if (!l) return kMixerrInvalLine;
        if (lc->cControls != l->controls.size() || lc->cControls == 0 || !lc->pamxctrl ||
            lc->cbmxctrl < sizeof(MIXERCONTROLA))
            return kMmsyserrInvalParam;
        for (size_t i = 0; i < l->controls.size(); ++i)
            lc->pamxctrl[i] = l->controls[i].info;
        return kMmsyserrNoError;
    }

    MMRESULT mixerGetControlDetailsA(HMIXER hmx, MIXERCONTROLDETAILS* d, uint32_t) override {
        const MappedControl* c = nullptr;
        if (const MMRESULT rc = check(hmx, d, c)) return rc;
        std::vector<uint32_t> values;
        if (const MMRESULT rc = read(*c, values)) return rc;
        std::memcpy(d->paDetails, values.data(), values.size() * sizeof(uint32_t));
        seen_[c->info.dwControlID] = values;
        return kMmsyserrNoError;
    }

    MMRESULT mixerSetControlDetails(HMIXER hmx, MIXERCONTROLDETAILS* d, uint32_t) override {
        const MappedControl* c = nullptr;
        if (const MMRESULT rc = check(hmx, d, c)) return rc;
        const auto* in = static_cast<const uint32_t*>(d->paDetails);
        std::vector<uint32_t> values(in, in + std::max<uint32_t>(1, d->cMultipleItems));
        if (const MMRESULT rc = write(*c, values)) return rc;
        // What reads back now is what was written: the level is remembered,
        // not re-derived from the element's coarser steps.
        std::vector<uint32_t> now;
        read(*c, now);
        seen_[c->info.dwControlID] = now;
        if (target_)
            host().postMessage(target_, kMmMixmControlChange, kHandle, c->info.dwControlID);
        return kMmsyserrNoError;
    }

    MMRESULT mixerClose(HMIXER hmx) override {
        if (hmx != kHandle || !open_) return kMmsyserrInvalHandle;
        stopWatching();
        open_ = false;
        return kMmsyserrNoError;
    }

    // On the loop's thread: the watcher saw events. Apply them and report
    // every control whose value moved.
    intptr_t handleMessage(uint32_t message, uintptr_t, intptr_t) override {
        if (message != kEventsMessage) return 0;
        if (open_ && mixer_) {
            snd_mixer_handle_events(mixer_);
            for (const MappedControl* c : all_) {
                std::vector<uint32_t> values;
                if (read(*c, values) != kMmsyserrNoError) continue;
                auto& last = seen_[c->info.dwControlID];
                if (values == last) continue;
                last = values;
                if (target_)
                    host().postMessage(target_, kMmMixmControlChange, kHandle, c->info.dwControlID);
            }
        }
        {
            std::lock_guard lock(mutex_);
            eventsPending_ = false;
        }
        handled_.notify_one();
        return 0;
    }

  private:
    bool ensureLoaded() {
        if (mixer_) return true;
        if (tried_) return false;
        tried_ = true;
        // Attached on a thread of its own: a sound server that does not
        // answer must not hold the program.
        struct Found {
            snd_mixer_t* mixer = nullptr;
            std::string name;
        };
        auto found = std::make_shared<Found>();
        const bool inTime = detail::openWithin(
            [found] {
                snd_mixer_t* m = nullptr;
                for (const std::string& candidate : mixerNames()) {
                    if (snd_mixer_open(&m, 0) < 0) return;
                    if (snd_mixer_attach(m, candidate.c_str()) >= 0 &&
                        snd_mixer_selem_register(m, nullptr, nullptr) >= 0 &&
                        snd_mixer_load(m) >= 0) {
                        found->mixer = m;
                        found->name = candidate;
                        return;
                    }
                    snd_mixer_close(m);
                }
            },
            [found] {
                if (found->mixer) snd_mixer_close(found->mixer);
            });
        if (!inTime || !found->mixer) return false;
        snd_mixer_t* m = found->mixer;
        const std::string name = found->name;
        mixer_ = m;
        std::vector<Element> elements;
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(m); e; e = snd_mixer_elem_next(e)) {
            if (!snd_mixer_selem_is_active(e)) continue;
            Element el;
            el.name = snd_mixer_selem_get_name(e);
            el.index = snd_mixer_selem_get_index(e);
            el.playbackVolume = snd_mixer_selem_has_playback_volume(e);
            el.playbackSwitch = snd_mixer_selem_has_playback_switch(e);
            el.captureVolume = snd_mixer_selem_has_capture_volume(e);
            el.captureSwitch = snd_mixer_selem_has_capture_switch(e);
            if (snd_mixer_selem_is_enumerated(e) && snd_mixer_selem_is_enum_capture(e)) {
                el.captureEnum = true;
                const int count = snd_mixer_selem_get_enum_items(e);
                for (int i = 0; i < count; ++i) {
                    char item[64] = {};
                    snd_mixer_selem_get_enum_item_name(e, i, sizeof item - 1, item);
                    el.items.push_back(item);
                }
            }
            el.channels = snd_mixer_selem_is_playback_mono(e) ? 1 : 2;
            elements.push_back(el);
            elems_.push_back(e);
        }
        map_ = mapElements(cardName(name), elements);
        auto index = [&](MappedLine& l) {
            for (MappedControl& c : l.controls) {
                if (all_.size() <= c.info.dwControlID) all_.resize(c.info.dwControlID + 1);
                all_[c.info.dwControlID] = &c;
            }
        };
        for (MappedLine& dest : map_.destinations) {
            index(dest);
            for (MappedLine& src : dest.sources)
                index(src);
        }
        seen_.assign(all_.size(), {});
        return true;
    }

    void closeMixer() {
        stopWatching();
        if (mixer_) snd_mixer_close(mixer_);
        mixer_ = nullptr;
    }

    const MappedLine* lineById(uint32_t id) const {
        for (const MappedLine& dest : map_.destinations) {
            if (dest.info.dwLineID == id) return &dest;
            for (const MappedLine& src : dest.sources)
                if (src.info.dwLineID == id) return &src;
        }
        return nullptr;
    }

    MMRESULT check(HMIXER hmx, const MIXERCONTROLDETAILS* d, const MappedControl*& c) const {
        if (hmx != kHandle || !open_) return kMmsyserrInvalHandle;
        if (!d || !d->paDetails || d->cbDetails != 4 || d->cChannels != 1)
            return kMmsyserrInvalParam;
        if (d->dwControlID >= all_.size()) return kMixerrInvalControl;
        c = all_[d->dwControlID];
        if (d->cMultipleItems != c->info.cMultipleItems) return kMmsyserrInvalParam;
        return kMmsyserrNoError;
    }

    static MMRESULT failed(int e) { return e < 0 ? kMmsyserrError : kMmsyserrNoError; }

    MMRESULT read(const MappedControl& c, std::vector<uint32_t>& values) {
        snd_mixer_elem_t* e = c.element >= 0 ? elems_[c.element] : nullptr;
        const auto ch = SND_MIXER_SCHN_FRONT_LEFT;
        long v = 0, min = 0, max = 0;
        int on = 0;
        switch (c.role) {
            case Role::PlaybackVolume:
            case Role::CaptureVolume: {
                const bool play = c.role == Role::PlaybackVolume;
                const int rc = play ? snd_mixer_selem_get_playback_volume(e, ch, &v)
                                    : snd_mixer_selem_get_capture_volume(e, ch, &v);
                if (rc < 0) return kMmsyserrError;
                play ? snd_mixer_selem_get_playback_volume_range(e, &min, &max)
                     : snd_mixer_selem_get_capture_volume_range(e, &min, &max);
                uint32_t level = toLevel(v, min, max);
                const auto& memory = levels_[c.info.dwControlID];
                if (memory.set && fromLevel(memory.level, min, max) == v) level = memory.level;
                values = {level};
                return kMmsyserrNoError;
            }
            case Role::PlaybackMute:
            case Role::CaptureMute: {
                const int rc = c.role == Role::PlaybackMute
                                   ? snd_mixer_selem_get_playback_switch(e, ch, &on)
                                   : snd_mixer_selem_get_capture_switch(e, ch, &on);
                if (rc < 0) return kMmsyserrError;
                values = {on ? 0u : 1u};
                return kMmsyserrNoError;
            }
            case Role::SourceSelect: {
                unsigned item = 0;
                if (snd_mixer_selem_get_enum_item(e, ch, &item) < 0) return kMmsyserrError;
                values.assign(c.info.cMultipleItems, 0);
                if (item < values.size()) values[item] = 1;
                return kMmsyserrNoError;
            }
            case Role::CaptureSwitches:
                values.assign(c.items.size(), 0);
                for (size_t i = 0; i < c.items.size(); ++i) {
                    snd_mixer_elem_t* s = elems_[c.items[i]];
                    on = 0;
                    if (snd_mixer_selem_has_capture_switch(s))
                        snd_mixer_selem_get_capture_switch(s, ch, &on);
                    values[i] = on ? 1 : 0;
                }
                return kMmsyserrNoError;
        }
        return kMmsyserrError;
    }

    MMRESULT write(const MappedControl& c, const std::vector<uint32_t>& values) {
        snd_mixer_elem_t* e = c.element >= 0 ? elems_[c.element] : nullptr;
        long min = 0, max = 0;
        switch (c.role) {
            case Role::PlaybackVolume:
            case Role::CaptureVolume: {
                if (values[0] > 65535) return kMixerrInvalValue;
                const bool play = c.role == Role::PlaybackVolume;
                play ? snd_mixer_selem_get_playback_volume_range(e, &min, &max)
                     : snd_mixer_selem_get_capture_volume_range(e, &min, &max);
                const long v = fromLevel(values[0], min, max);
                const int rc = play ? snd_mixer_selem_set_playback_volume_all(e, v)
                                    : snd_mixer_selem_set_capture_volume_all(e, v);
                if (rc < 0) return kMmsyserrError;
                levels_[c.info.dwControlID] = {true, values[0]};
                return kMmsyserrNoError;
            }
            case Role::PlaybackMute:
                return failed(snd_mixer_selem_set_playback_switch_all(e, values[0] ? 0 : 1));
            case Role::CaptureMute:
                return failed(snd_mixer_selem_set_capture_switch_all(e, values[0] ? 0 : 1));
            case Role::SourceSelect: {
                int chosen = -1, count = 0;
                for (size_t i = 0; i < values.size(); ++i)
                    if (values[i]) chosen = static_cast<int>(i), ++count;
                if (count != 1) return kMixerrInvalValue;
                int rc = -1;
                for (int ch = 0; ch <= SND_MIXER_SCHN_LAST; ++ch)
                    if (snd_mixer_selem_set_enum_item(e,
                                                      static_cast<snd_mixer_selem_channel_id_t>(ch),
                                                      static_cast<unsigned>(chosen)) >= 0)
                        rc = 0;
                return failed(rc);
            }
            case Role::CaptureSwitches:
                for (size_t i = 0; i < c.items.size(); ++i) {
                    snd_mixer_elem_t* s = elems_[c.items[i]];
                    if (snd_mixer_selem_has_capture_switch(s))
                        snd_mixer_selem_set_capture_switch_all(s, values[i] ? 1 : 0);
                }
                return kMmsyserrNoError;
        }
        return kMmsyserrError;
    }

    void snapshot() {
        for (const MappedControl* c : all_)
            read(*c, seen_[c->info.dwControlID]);
    }

    // A thread waits on the mixer's descriptors only; the loop's thread
    // applies the events, so every ALSA call stays on one thread.
    void startWatching() {
        const int count = snd_mixer_poll_descriptors_count(mixer_);
        if (count <= 0) return;
        wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wakeFd_ < 0) return;
        fds_.assign(static_cast<size_t>(count) + 1, pollfd{});
        fds_[0] = {wakeFd_, POLLIN, 0};
        snd_mixer_poll_descriptors(mixer_, fds_.data() + 1, static_cast<unsigned>(count));
        quit_ = false;
        watcher_ = std::thread([this] { watch(); });
    }

    void watch() {
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                handled_.wait(lock, [&] { return quit_ || !eventsPending_; });
                if (quit_) return;
            }
            if (poll(fds_.data(), fds_.size(), -1) <= 0) continue;
            std::lock_guard lock(mutex_);
            if (quit_) return;
            bool events = false;
            for (size_t i = 1; i < fds_.size(); ++i)
                if (fds_[i].revents) events = true;
            if (!events) continue;
            eventsPending_ = true;
            host().postMessage(this, kEventsMessage, 0, 0);
        }
    }

    void stopWatching() {
        if (!watcher_.joinable()) return;
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        handled_.notify_one();
        const uint64_t one = 1;
        (void)!::write(wakeFd_, &one, sizeof one);
        watcher_.join();
        close(wakeFd_);
        wakeFd_ = -1;
    }

    struct Memory {
        bool set = false;
        uint32_t level = 0;
    };

    snd_mixer_t* mixer_ = nullptr;
    bool tried_ = false;
    bool open_ = false;
    MessageTarget* target_ = nullptr;
    MappedMixer map_;
    std::vector<snd_mixer_elem_t*> elems_;
    std::vector<const MappedControl*> all_;  // by control identifier
    std::vector<std::vector<uint32_t>> seen_;
    std::map<uint32_t, Memory> levels_;

    std::mutex mutex_;
    std::condition_variable handled_;
    bool quit_ = false;
    bool eventsPending_ = false;
    std::thread watcher_;
    int wakeFd_ = -1;
    std::vector<pollfd> fds_;
};

}  // namespace

std::unique_ptr<MixerDevice> makeMixerDevice() {
    quietAlsa();
    return std::make_unique<AlsaMixer>();
}

}  // namespace alsa
