#pragma once

// Turns an audio stream into a RIFF WAVE file written by the filesink after it.
//
//     gst-launch-1.0 audiotestsrc num-buffers=100 ! audio/x-raw,format=S16LE ! zv_wavedest !
//         filesink location=out.wav
//     gst-launch-1.0 audiotestsrc num-buffers=100 ! lamemp3enc ! mpegaudioparse ! zv_wavedest !
//         filesink location=out.wav
//
// Each streaming run (READY → PAUSED until PAUSED → READY) writes one file. Before the first
// audio byte the whole header goes out with a data size of 0, so a file whose program died still
// tells its format; the audio follows, and at end-of-stream a byte segment at 0 makes the
// filesink seek back and the final header overwrites the first one. Only bytes whose push
// downstream succeeded are counted. A file that would grow past "max-bytes" (by default the
// largest a RIFF file can be) is finished before the buffer that would pass it: final header,
// end-of-stream downstream, the element message "zv-wavedest-limit" (field "data-bytes") on the
// bus, and GST_FLOW_EOS to upstream for the rest of the run.

#include "filters/BaseClass.h"
#include "filters/WaveHeader.h"

#include <cstdint>

namespace vidorel {

class Tzv_WaveDest : public TBCTransformFilter {
public:
    // The largest RIFF file: its sizes are 32-bit.
    static constexpr guint64 kDefaultMaxBytes = 0xFFFFFFFFu;
    static constexpr const char* kLimitMessage = "zv-wavedest-limit";

    Tzv_WaveDest();
    static const FilterDescriptor& Descriptor();
    static void ClassInit(GObjectClass* klass);

    HRESULT CheckInputType(const GstCaps* caps) override;
    HRESULT CheckTransform(const GstCaps* in, const GstCaps* out) override;
    HRESULT DecideBufferSize(const GstCaps* out, TBufferProps& props) override;
    HRESULT GetMediaType(int position, const GstCaps* in, GstCapsRef& out) override;
    HRESULT SetMediaType(PinDirection direction, const GstCaps* caps) override;
    HRESULT StartStreaming() override;
    HRESULT NewSegment(GstSegment& segment) override;
    HRESULT Transform(GstBuffer* in, GstBuffer* out) override;
    HRESULT EndOfStream() override;

    void SetProperty(guint id, const GValue* value, GParamSpec* pspec) override;
    void GetProperty(guint id, GValue* value, GParamSpec* pspec) override;

    // Audio bytes delivered in this run, and the header's size (0 before caps). Receive lock.
    std::uint32_t WavDataBytes() const { return m_dataBytes; }
    std::uint32_t HeaderBytes() const { return m_headerBytes; }

private:
    friend struct WaveDestGlue;

    // The sink pad's chain, wrapped around GstBaseTransform's: the push result decides whether
    // the bytes count, and the size limit stops buffers before they are transformed.
    GstFlowReturn Receive(GstPad* pad, GstObject* parent, GstBuffer* buffer);
    GstFlowReturn FinishAtLimit(guint64 maxBytes);
    // The header buffer for the bytes counted so far (receive lock held).
    GstBuffer* HeaderBuffer(bool final);
    // The format of the MP3 stream from its first frame (receive lock held).
    void TakeFirstFrame(GstBuffer* buffer);

    // Written by the application thread, read once per buffer: under the object lock.
    guint64 m_maxBytes = kDefaultMaxBytes;

    // Streaming-run state, under the receive lock.
    WaveFormat m_format;
    bool m_haveFormat = false;
    bool m_firstFrameSeen = false; // MP3: bitrate and block size known
    bool m_variableBitrate = false;
    std::uint32_t m_headerBytes = 0;
    std::uint32_t m_dataBytes = 0;
    bool m_headerSent = false;
    bool m_finished = false; // final header written: the run takes no more audio
    // What the buffer being pushed adds, counted once its push succeeded.
    std::uint32_t m_pendingBytes = 0;
    GstClockTime m_pendingDuration = GST_CLOCK_TIME_NONE;
    // Sum of the delivered buffers' durations (NONE once one had none): MP3 at a variable
    // bitrate gets its average from bytes and duration.
    GstClockTime m_duration = 0;
};

} // namespace vidorel
