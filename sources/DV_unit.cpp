#include "sources/DV_unit.h"

#include "devices/DeviceKind.h"
#include "filters/Registration.h"
#include "sources/SourceGraph.h"

#include <cstring>

namespace vidorel {
namespace {

// dvdemux makes its pads when data flows; the streams' chains wait for them here.
struct TDemuxPads {
    GstPadRef videoSink; // first element of the open video stream's chain
    GstPadRef audioSink;
};

void LinkDemuxPad(GstPad* pad, TDemuxPads& pads) {
    const char* name = GST_PAD_NAME(pad);
    GstPadRef& sink = std::strcmp(name, "video") == 0 ? pads.videoSink : pads.audioSink;
    if (sink && !gst_pad_is_linked(sink.get())) {
        gst_pad_link(pad, sink.get());
    }
}

class TDVCaptureDevice final : public TCaptureDevice {
public:
    TDVCaptureDevice(devices::DeviceEntry entry, int number)
        : TCaptureDevice(std::move(entry), number, devices::kKindDV) {
        MuxedFormat = 1;
        NativeFormat = 2;
        VideoStreamCount = 1;
        AudioStreamCount = 1;
        Valid = true;
    }
    ~TDVCaptureDevice() override {
        StopNativeCapture();
        CloseVideoStream();
        CloseAudioStream();
        DetachSource();
    }

    GstElement* AttachSource() override {
        if (sourcegraph::InGraph(SourceFilter)) {
            return SourceFilter.get();
        }
        SourceFilter = BindSource();
        RegisterVidorelElements();
        scene_ = sourcegraph::Make("zv_scenedetect", "dv_Scenedetect");
        muxTee_ = sourcegraph::Make("tee", "dv_muxinfinite");
        muxQueue_ = sourcegraph::Make("queue", "");
        splitter_ = sourcegraph::Make("dvdemux", "dv_splitter");
        if (!SourceFilter || !scene_ || !muxTee_ || !muxQueue_ || !splitter_ ||
            !sourcegraph::Add(SourceFilter) || !sourcegraph::Add(scene_) ||
            !sourcegraph::Add(muxTee_) || !sourcegraph::Add(muxQueue_) ||
            !sourcegraph::Add(splitter_) ||
            !sourcegraph::Link({SourceFilter.get(), scene_.get(), muxTee_.get(), muxQueue_.get(),
                                splitter_.get()})) {
            DetachSource();
            return nullptr;
        }
        g_signal_connect(splitter_.get(), "pad-added",
                         G_CALLBACK(+[](GstElement*, GstPad* pad, gpointer pads) {
                             LinkDemuxPad(pad, *static_cast<TDemuxPads*>(pads));
                         }),
                         &pads_);
        return SourceFilter.get();
    }

    void DetachSource() override {
        StopNativeCapture();
        if (splitter_) {
            g_signal_handlers_disconnect_by_data(splitter_.get(), &pads_);
        }
        sourcegraph::Remove(splitter_);
        sourcegraph::Remove(muxQueue_);
        sourcegraph::Remove(muxTee_);
        sourcegraph::Remove(scene_);
        sourcegraph::Remove(SourceFilter);
    }

    bool OpenVideoStream(int n) override {
        VideoPin.reset();
        if (n < 1 || n > VideoStreamCount || !splitter_) {
            return false;
        }
        CloseVideoStream();
        vQueue_ = sourcegraph::Make("queue", "");
        nativeTee_ = sourcegraph::Make("tee", "dv_nativeinfinite");
        decQueue_ = sourcegraph::Make("queue", "");
        dec_ = sourcegraph::Make("avdec_dvvideo", "dv_dec");
        GstElement* last = dec_.get();
        bool ok = vQueue_ && nativeTee_ && decQueue_ && dec_ && sourcegraph::Add(vQueue_) &&
                  sourcegraph::Add(nativeTee_) && sourcegraph::Add(decQueue_) &&
                  sourcegraph::Add(dec_) &&
                  sourcegraph::Link({vQueue_.get(), nativeTee_.get(), decQueue_.get(), dec_.get()});
        if (ok && HalfSizeDV) {
            // Half resolution in both directions, as the decoder's half-size display gave.
            scale_ = sourcegraph::Make("videoscale", "");
            half_ = sourcegraph::Make("capsfilter", "");
            ok = scale_ && half_ && sourcegraph::Add(scale_) && sourcegraph::Add(half_);
            if (ok) {
                auto caps = GstCapsRef::adopt(gst_caps_from_string("video/x-raw, width=(int)360"));
                g_object_set(half_.get(), "caps", caps.get(), nullptr);
                ok = sourcegraph::Link({dec_.get(), scale_.get(), half_.get()});
                last = half_.get();
            }
        }
        if (!ok) {
            CloseVideoStream();
            return false;
        }
        pads_.videoSink = GstPadRef::adopt(gst_element_get_static_pad(vQueue_.get(), "sink"));
        if (auto pad = GstPadRef::adopt(gst_element_get_static_pad(splitter_.get(), "video"))) {
            LinkDemuxPad(pad.get(), pads_);
        }
        VideoPin = GstPadRef::adopt(gst_element_get_static_pad(last, "src"));
        NativeTee = nativeTee_;
        return true;
    }

    bool OpenAudioStream(int n) override {
        AudioPin.reset();
        if (n < 1 || n > AudioStreamCount || !splitter_) {
            return false;
        }
        CloseAudioStream();
        aQueue_ = sourcegraph::Make("queue", "");
        if (!aQueue_ || !sourcegraph::Add(aQueue_)) {
            return false;
        }
        pads_.audioSink = GstPadRef::adopt(gst_element_get_static_pad(aQueue_.get(), "sink"));
        if (auto pad = GstPadRef::adopt(gst_element_get_static_pad(splitter_.get(), "audio"))) {
            LinkDemuxPad(pad.get(), pads_);
        }
        AudioPin = GstPadRef::adopt(gst_element_get_static_pad(aQueue_.get(), "src"));
        return true;
    }

    void CloseVideoStream() override {
        if (NativeTee && NativeTee == nativeTee_) {
            NativeTee.reset();
        }
        if (dec_) {
            VideoPin.reset();
        }
        pads_.videoSink.reset();
        sourcegraph::Remove(half_);
        sourcegraph::Remove(scale_);
        sourcegraph::Remove(dec_);
        sourcegraph::Remove(decQueue_);
        sourcegraph::Remove(nativeTee_);
        sourcegraph::Remove(vQueue_);
    }

    void CloseAudioStream() override {
        if (aQueue_) {
            AudioPin.reset();
        }
        pads_.audioSink.reset();
        sourcegraph::Remove(aQueue_);
    }

    // Records the camcorder's own frames, untouched, from a further output of the interleaved
    // tee into a type-1 AVI (one interleaved DV stream).
    void StartNativeCapture(const std::string& fileName) override {
        StopNativeCapture();
        if (SourceGraph == nullptr || !muxTee_ || fileName.empty()) {
            return;
        }
        try {
            TFilterGraph& g = *SourceGraph;
            RegisterVidorelElements();
            CaptureSink_ =
                MakeElement("zv_dvtype1sink", sourcegraph::UniqueName("CaptureSink").c_str());
            g_object_set(CaptureSink_.get(), "location", fileName.c_str(), nullptr);
            g.AddFilter(CaptureSink_.get());
            gst_element_sync_state_with_parent(CaptureSink_.get());
            auto tap = g.TapTee(muxTee_.get());
            g.Connect(tap.get(), Pad(CaptureSink_.get(), PinDirection::Input, 0).get());
        } catch (const EGraphError& e) {
            GST_WARNING("native DV capture to %s not started: %s", fileName.c_str(), e.what());
            StopNativeCapture();
        }
    }

    void StopNativeCapture() override {
        if (SourceGraph != nullptr && CaptureSink_ && SourceGraph->Contains(CaptureSink_.get())) {
            // The queue that tapped the tee goes with the writer.
            if (auto in = FindPad(CaptureSink_.get(), PinDirection::Input, 0)) {
                auto peer = GstPadRef::adopt(gst_pad_get_peer(in.get()));
                auto tapQueue = peer ? PadOwner(peer.get()) : GstElementRef();
                if (tapQueue && tapQueue != muxTee_ && SourceGraph->Contains(tapQueue.get())) {
                    SourceGraph->RemoveFilter(tapQueue.get());
                }
            }
            SourceGraph->RemoveFilter(CaptureSink_.get());
        }
        CaptureSink_.reset();
    }

private:
    TDemuxPads pads_;
    GstElementRef scene_, muxTee_, muxQueue_, splitter_;
    GstElementRef CaptureSink_; // the type-1 writer while a native capture runs
    GstElementRef vQueue_, nativeTee_, decQueue_, dec_, scale_, half_, aQueue_;
};

} // namespace

std::shared_ptr<TCaptureDevice> MakeDVCaptureDevice(devices::DeviceEntry entry, int number) {
    return std::make_shared<TDVCaptureDevice>(std::move(entry), number);
}

} // namespace vidorel
