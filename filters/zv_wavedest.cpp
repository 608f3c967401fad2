// zv_wavedest: a RIFF WAVE file from PCM or MP3 frames, header first and rewritten at the end.
//
//     gst-launch-1.0 audiotestsrc num-buffers=100 ! lamemp3enc ! mpegaudioparse ! zv_wavedest !
//         filesink location=out.wav            (GST_PLUGIN_PATH=<build>/gst-plugins)

#include "filters/zv_wavedest.h"

#include <atomic>
#include <cstring>
#include <exception>
#include <mutex>

namespace vidorel {

VIDOREL_DEFINE_FILTER(Tzv_WaveDest, "zv_wavedest", "Marlott WavDest filter", "Sink/Muxer/Audio",
                      "Writes PCM or MP3 audio as a RIFF WAVE file (before a filesink)",
                      "audio/x-raw, format=(string){ U8, S16LE, S24LE, S32LE }, "
                      "layout=(string)interleaved, rate=(int)[1, MAX], channels=(int)[1, MAX]; "
                      "audio/mpeg, mpegversion=(int)1, layer=(int)3, parsed=(boolean)true, "
                      "rate=(int)[1, MAX], channels=(int)[1, 2]",
                      "audio/x-wav")

namespace {

enum { PROP_0, PROP_MAX_BYTES };

// GStreamer's own chain function of the sink pad (the same for every instance) and the
// constructed() of the parent class, both taken when the first instance is made.
std::atomic<GstPadChainFunction> baseChain{nullptr};
void (*parentConstructed)(GObject*) = nullptr;

GstEvent* ByteSegmentAtStart() {
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_BYTES);
    return gst_event_new_segment(&segment);
}

} // namespace

// The sink pad's chain goes through Tzv_WaveDest::Receive first.
struct WaveDestGlue {
    static void Constructed(GObject* object) {
        if (parentConstructed != nullptr) {
            parentConstructed(object);
        }
        GstPad* sink = GST_BASE_TRANSFORM_SINK_PAD(object);
        GstPadChainFunction none = nullptr;
        baseChain.compare_exchange_strong(none, GST_PAD_CHAINFUNC(sink));
        gst_pad_set_chain_function(sink, Chain);
    }

    static GstFlowReturn Chain(GstPad* pad, GstObject* parent, GstBuffer* buffer) {
        auto* self = FilterCast<Tzv_WaveDest>(GST_ELEMENT_CAST(parent));
        if (self == nullptr) {
            return baseChain.load()(pad, parent, buffer);
        }
        try {
            return self->Receive(pad, parent, buffer);
        } catch (const std::exception& e) {
            GST_ELEMENT_ERROR(parent, STREAM, FAILED,
                              ("Internal error in the filter %s.", GST_OBJECT_NAME(parent)),
                              ("Receive threw: %s", e.what()));
        } catch (...) {
            GST_ELEMENT_ERROR(parent, STREAM, FAILED,
                              ("Internal error in the filter %s.", GST_OBJECT_NAME(parent)),
                              ("Receive threw"));
        }
        return GST_FLOW_ERROR;
    }
};

Tzv_WaveDest::Tzv_WaveDest() : TBCTransformFilter("WavDest filter") {}

// --- properties ---

void Tzv_WaveDest::ClassInit(GObjectClass* klass) {
    parentConstructed = klass->constructed;
    klass->constructed = WaveDestGlue::Constructed;
    g_object_class_install_property(
        klass, PROP_MAX_BYTES,
        g_param_spec_uint64("max-bytes", "Maximum file size",
                            "Largest file to write, header included, in bytes; the stream ends "
                            "before the buffer that would pass it (default: the RIFF limit)",
                            kMaxWaveHeaderBytes, kDefaultMaxBytes, kDefaultMaxBytes,
                            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                     GST_PARAM_MUTABLE_PLAYING)));
}

void Tzv_WaveDest::SetProperty(guint id, const GValue* value, GParamSpec* pspec) {
    if (id != PROP_MAX_BYTES) {
        TBCTransformFilter::SetProperty(id, value, pspec);
        return;
    }
    TBCSettingsLock lock(*this);
    m_maxBytes = g_value_get_uint64(value);
}

void Tzv_WaveDest::GetProperty(guint id, GValue* value, GParamSpec* pspec) {
    if (id != PROP_MAX_BYTES) {
        TBCTransformFilter::GetProperty(id, value, pspec);
        return;
    }
    TBCSettingsLock lock(*this);
    g_value_set_uint64(value, m_maxBytes);
}

// --- caps and setup ---

HRESULT Tzv_WaveDest::CheckInputType(const GstCaps* caps) {
    return WaveFormatFromCaps(caps) ? S_OK : S_FALSE;
}

HRESULT Tzv_WaveDest::CheckTransform(const GstCaps* in, const GstCaps*) {
    const HRESULT hr = CheckInputType(in);
    return Failed(hr) ? hr : S_OK;
}

HRESULT Tzv_WaveDest::GetMediaType(int position, const GstCaps*, GstCapsRef& out) {
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    out = GstCapsRef::adopt(gst_caps_new_empty_simple("audio/x-wav"));
    return S_OK;
}

HRESULT Tzv_WaveDest::DecideBufferSize(const GstCaps*, TBufferProps& props) {
    // Each output buffer as large as its input: audio buffers vary in size.
    props.buffers = 1;
    props.size = 0;
    props.align = 1;
    return S_OK;
}

HRESULT Tzv_WaveDest::SetMediaType(PinDirection direction, const GstCaps* caps) {
    if (direction != PinDirection::Input) {
        return S_OK;
    }
    const auto format = WaveFormatFromCaps(caps);
    if (!format) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (m_headerSent) {
        // The file already tells its format: only caps that keep it may follow.
        const bool same = format->formatTag == m_format.formatTag &&
                          format->channels == m_format.channels &&
                          format->samplesPerSec == m_format.samplesPerSec &&
                          format->bitsPerSample == m_format.bitsPerSample;
        return same ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    m_format = *format;
    m_haveFormat = true;
    m_firstFrameSeen = false;
    m_headerBytes = WaveHeaderBytes(m_format);
    return S_OK;
}

HRESULT Tzv_WaveDest::StartStreaming() {
    m_haveFormat = false;
    m_firstFrameSeen = false;
    m_variableBitrate = false;
    m_headerBytes = 0;
    m_dataBytes = 0;
    m_headerSent = false;
    m_finished = false;
    m_pendingBytes = 0;
    m_pendingDuration = GST_CLOCK_TIME_NONE;
    m_duration = 0;
    return S_OK;
}

HRESULT Tzv_WaveDest::NewSegment(GstSegment& segment) {
    // The file is a byte stream; a segment at the current write position keeps the filesink
    // where it is (one at another position would make it seek).
    const guint64 position = m_headerSent ? guint64(m_headerBytes) + m_dataBytes : 0;
    gst_segment_init(&segment, GST_FORMAT_BYTES);
    segment.start = position;
    segment.position = position;
    segment.time = position;
    return S_OK;
}

GstBuffer* Tzv_WaveDest::HeaderBuffer(bool final) {
    WaveFormat format = m_format;
    if (final && format.formatTag == kWaveFormatMpegLayer3 &&
        (m_variableBitrate || format.avgBytesPerSec == 0) && GST_CLOCK_TIME_IS_VALID(m_duration) &&
        m_duration > 0) {
        format.avgBytesPerSec = static_cast<std::uint32_t>(
            gst_util_uint64_scale_round(m_dataBytes, GST_SECOND, m_duration));
    }
    WaveHeaderBlock block;
    const std::uint32_t n = WriteWaveHeader(format, m_dataBytes, block);
    GstBuffer* buffer = gst_buffer_new_memdup(block.data(), n);
    GST_BUFFER_OFFSET(buffer) = 0;
    GST_BUFFER_OFFSET_END(buffer) = n;
    return buffer;
}

void Tzv_WaveDest::TakeFirstFrame(GstBuffer* buffer) {
    m_firstFrameSeen = true;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        return;
    }
    if (const auto frame = ParseMpegAudioFrame(map.data, map.size)) {
        m_format = Mp3WaveFormat(m_format.channels, m_format.samplesPerSec, frame->bitrate,
                                 static_cast<std::uint16_t>(frame->frameBytes));
    } else {
        GST_CAT_WARNING_OBJECT(DebugCategory(), Element(),
                               "the first buffer does not start with a layer III frame: the "
                               "header gives no bitrate");
    }
    gst_buffer_unmap(buffer, &map);
}

// --- the sample path ---

GstFlowReturn Tzv_WaveDest::Receive(GstPad* pad, GstObject* parent, GstBuffer* buffer) {
    auto owned = GstBufferRef::adopt(buffer);
    guint64 maxBytes = 0;
    {
        TBCSettingsLock settings(*this);
        maxBytes = m_maxBytes;
    }
    GstBufferRef header;
    bool atLimit = false;
    {
        std::lock_guard lock(ReceiveLock());
        if (m_finished) {
            return GST_FLOW_EOS;
        }
        if (m_haveFormat) {
            if (m_format.formatTag == kWaveFormatMpegLayer3 && !m_firstFrameSeen) {
                TakeFirstFrame(buffer);
            }
            const guint64 after =
                guint64(m_headerBytes) + m_dataBytes + gst_buffer_get_size(buffer);
            if (after > maxBytes) {
                m_finished = atLimit = true;
            } else if (!m_headerSent) {
                header = GstBufferRef::adopt(HeaderBuffer(false));
            }
        }
    }
    if (atLimit) {
        return FinishAtLimit(maxBytes);
    }
    if (header) {
        const GstFlowReturn flow = Deliver(header.release());
        if (flow != GST_FLOW_OK) {
            return flow;
        }
        std::lock_guard lock(ReceiveLock());
        m_headerSent = true;
    }
    const GstFlowReturn flow = baseChain.load()(pad, parent, owned.release());
    std::lock_guard lock(ReceiveLock());
    if (flow == GST_FLOW_OK) {
        m_dataBytes += m_pendingBytes;
        if (GST_CLOCK_TIME_IS_VALID(m_duration) && GST_CLOCK_TIME_IS_VALID(m_pendingDuration)) {
            m_duration += m_pendingDuration;
        } else {
            m_duration = GST_CLOCK_TIME_NONE;
        }
    }
    m_pendingBytes = 0;
    m_pendingDuration = GST_CLOCK_TIME_NONE;
    return flow;
}

HRESULT Tzv_WaveDest::Transform(GstBuffer* in, GstBuffer* out) {
    GstMapInfo src;
    if (!gst_buffer_map(in, &src, GST_MAP_READ)) {
        return E_FAIL;
    }
    GstMapInfo dst;
    if (!gst_buffer_map(out, &dst, GST_MAP_WRITE)) {
        gst_buffer_unmap(in, &src);
        return E_FAIL;
    }
    if (dst.size < src.size) {
        gst_buffer_unmap(out, &dst);
        gst_buffer_unmap(in, &src);
        return E_FAIL;
    }
    std::memcpy(dst.data, src.data, src.size);
    if (m_format.formatTag == kWaveFormatMpegLayer3 && !m_variableBitrate) {
        const auto frame = ParseMpegAudioFrame(src.data, src.size);
        if (frame && frame->bitrate != m_format.avgBytesPerSec * 8) {
            m_variableBitrate = true;
        }
    }
    const auto n = static_cast<std::uint32_t>(src.size);
    gst_buffer_unmap(out, &dst);
    gst_buffer_unmap(in, &src);
    gst_buffer_set_size(out, n);

    // Where the bytes land in the file; Receive counts them once the push succeeded. The limit
    // checked there keeps header + data within 32 bits.
    const guint64 start = guint64(m_headerBytes) + m_dataBytes;
    GST_BUFFER_OFFSET(out) = start;
    GST_BUFFER_OFFSET_END(out) = start + n;
    m_pendingBytes = n;
    m_pendingDuration = GST_BUFFER_DURATION(in);
    return S_OK;
}

// --- end of the file ---

HRESULT Tzv_WaveDest::EndOfStream() {
    if (m_finished) {
        return S_OK;
    }
    if (!m_haveFormat) {
        GST_CAT_WARNING_OBJECT(DebugCategory(), Element(),
                               "end of stream before caps: no format, no header");
        return S_OK;
    }
    m_finished = true;
    // Pushed right after this call, before the end-of-stream: the filesink seeks to 0 on the
    // segment and overwrites the first header.
    DeliverEvent(ByteSegmentAtStart());
    Deliver(HeaderBuffer(true));
    GST_CAT_DEBUG_OBJECT(DebugCategory(), Element(), "final header: %u data bytes", m_dataBytes);
    return S_OK;
}

GstFlowReturn Tzv_WaveDest::FinishAtLimit(guint64 maxBytes) {
    GstBufferRef header;
    std::uint32_t dataBytes = 0;
    {
        std::lock_guard lock(ReceiveLock());
        header = GstBufferRef::adopt(HeaderBuffer(true));
        dataBytes = m_dataBytes;
    }
    GST_CAT_INFO_OBJECT(DebugCategory(), Element(),
                        "file would pass %" G_GUINT64_FORMAT " bytes: finished at %u data bytes",
                        maxBytes, dataBytes);
    // Outside any contract call these push at once. A downstream that cannot seek back gets no
    // second header at its end.
    if (DeliverEvent(ByteSegmentAtStart())) {
        Deliver(header.release());
    }
    // Posted before the end-of-stream goes down, so the application hears why before the
    // pipeline's EOS message.
    GstStructure* s =
        gst_structure_new(kLimitMessage, "data-bytes", G_TYPE_UINT64, guint64(dataBytes),
                          "max-bytes", G_TYPE_UINT64, maxBytes, nullptr);
    gst_element_post_message(Element(), gst_message_new_element(GST_OBJECT_CAST(Element()), s));
    DeliverEvent(gst_event_new_eos());
    return GST_FLOW_EOS;
}

} // namespace vidorel
