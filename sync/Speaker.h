// The seam through which the synchronisation programs sound a tone: after a
// successful synchronisation (when SyncSnd is set) and when the log file
// cannot be opened. Tests count tones instead of sounding them.
#pragma once

namespace kt64::sync {

class Speaker {
public:
    virtual ~Speaker() = default;
    // Sounds hz for ms milliseconds and returns when it has ended; silently
    // does nothing where no speaker can be driven.
    virtual void tone(unsigned hz, unsigned ms) = 0;
};

}  // namespace kt64::sync
