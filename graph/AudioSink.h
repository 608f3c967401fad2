#pragma once

// The end of the preview's audio chain: a bin "audioconvert ! volume ! autoaudiosink" with one
// sink pad. autoaudiosink picks the machine's sound output and falls back to a fake sink when
// there is none, so the preview plays silently instead of failing. The converter lets volume
// take any raw audio format.

#include "platform/GstRef.h"

#include <gst/gst.h>

namespace vidorel {

class TAudioSink {
public:
    static constexpr int kMaxVolume = 10000;

    // `silent`: no sound output at all (a command-line capture), a fake sink paced by the
    // clock, or unpaced when `paced` is false.
    explicit TAudioSink(const char* name = "audiosink", bool silent = false, bool paced = true);

    // The bin, to add to the pipeline; its pad is "sink".
    GstElement* Element() const { return m_bin.get(); }
    // The volume element, for the clock and for tests.
    GstElement* VolumeElement() const { return m_volume.get(); }

    // 0 (silence) .. 10000 (unchanged), linear; clamped.
    void SetVolume(int volume);
    int Volume() const;
    void SetMute(bool mute);
    bool Muted() const;

private:
    GstElementRef m_bin;
    GstElementRef m_volume;
};

} // namespace vidorel
