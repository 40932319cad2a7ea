// The PC speaker as the kernel offers it: the speaker input device (EV_SND /
// SND_TONE, tone given in Hz) when one exists, otherwise the console's
// KIOCSOUND, which takes the divisor of the 1,193,180 Hz timer channel 2.
// Without either (no speaker, no console, no permission) a tone is silence.
#pragma once

#include <filesystem>

#include "Speaker.h"

namespace kt64::sync {

class PcSpeaker final : public Speaker {
public:
    void tone(unsigned hz, unsigned ms) override;
};

// Programs timer channel 2 with a divisor of its own and gates it to the
// speaker, the way the stand-alone program drives the speaker: tones shorter
// than 18 ms are not sounded and the divisor is 1,193,181 / hz. Through the
// console's KIOCSOUND, so silent without console access.
class TimerChannelSpeaker final : public Speaker {
public:
    void tone(unsigned hz, unsigned ms) override;
};

// 1,193,181 / hz (integer division), 0 for a 0 Hz request; the counter is 16
// bits wide, so a result above 0xFFFF is cut to it as the port writes cut it.
unsigned timerChannelDivisor(unsigned hz);
// Tones shorter than this many milliseconds are not sounded by the
// timer-channel routine.
inline constexpr unsigned kShortestTimerChannelTone = 18;

// The speaker event device when one is present (/dev/input/by-path/*spkr*,
// else the first /dev/input/event* that reports EV_SND with SND_TONE).
std::filesystem::path speakerEventDevice();

}  // namespace kt64::sync
