// The mixer's part of a program's life, the same in every program that
// drives the card's mixer: the mixer copy built for an owner and the start-up
// assignment; at the first tick the start-up routing (the receiver's direct
// path muted, the filtered path on); notifications from the card while all
// that stands; at the end the shutdown routing, which leaves every path
// audible, and the release.
//
// A message box shown by any step delivers posted messages, so the program
// may be torn down inside a step: the owner checks after each call that can
// show one, and the session ignores notifications until the assignment is
// made and again from the moment the shutdown begins.
#pragma once

#include <cstdint>
#include <string>

#include "mixer/level_controls.h"
#include "mixer/mixer_extend.h"

class MixerSession {
  public:
    explicit MixerSession(CMixerExtend& mixer) : mixer_(mixer) {}

    // Builds the mixer copy; the version text goes into the mixer listing.
    void open(platform::MixerDevice* device, platform::MessageTarget* owner, std::string version);
    // The start-up assignment; from then on notifications are acted on.
    void assign();
    // The start-up routing, once, while the session stands.
    void routeForStart();
    // Hands a line or control notification to the mixer; false when it came
    // before the assignment or after the shutdown began, and was ignored.
    bool notify(uint32_t message, uint32_t id);
    // The shutdown routing (when the assignment was made) and the release;
    // once.
    void close();

    bool ready() const { return ready_; }
    CMixerExtend& mixer() { return mixer_; }

  private:
    CMixerExtend& mixer_;
    std::string version_;  // the mixer keeps a pointer to it
    bool opened_ = false;
    bool ready_ = false;
    bool routed_ = false;
    bool closed_ = false;
};
