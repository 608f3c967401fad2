#include "sources/DV_unit.h"

#include "devices/DeviceKind.h"
#include "filters/Registration.h"
#include "sources/SourceGraph.h"

#include <chrono>
#include <cstring>
#include <vector>

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

// What decouples the demuxer from the source, and the picture and the sound from the demuxer.
// Unpaced (a file converted as fast as it goes, no preview shown), nothing: a queue's hand-over
// costs a wake-up per buffer and buys nothing when no clock paces the source; the recording's
// own input queues are then the only hand-over. A tee held at a cut then holds the source's one
// thread for a moment, which is harmless: the cut it waits for is armed once the previous piece
// has taken what lay before its boundary, and that has already passed the tees.
const char* Decoupler(const TFilterGraph& graph) {
    return graph.Unpaced() ? "identity" : "queue";
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
        // The owner finished any recording; what is left leaves with the source.
        DetachSource();
    }

    GstElement* AttachSource(TFilterGraph& graph) override {
        if (sourcegraph::InGraph(&graph, SourceFilter)) {
            return SourceFilter.get();
        }
        DetachSource();
        SourceFilter = BindSource();
        RegisterVidorelElements();
        scene_ = sourcegraph::Make(graph, "zv_scenedetect", "dv_Scenedetect");
        muxTee_ = sourcegraph::Make(graph, "tee", "dv_muxinfinite");
        muxQueue_ = sourcegraph::Make(graph, Decoupler(graph), "");
        splitter_ = sourcegraph::Make(graph, "dvdemux", "dv_splitter");
        graph_ = &graph;
        if (!SourceFilter || !scene_ || !muxTee_ || !muxQueue_ || !splitter_ ||
            !sourcegraph::Add(graph, SourceFilter) || !sourcegraph::Add(graph, scene_) ||
            !sourcegraph::Add(graph, muxTee_) || !sourcegraph::Add(graph, muxQueue_) ||
            !sourcegraph::Add(graph, splitter_) ||
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
        // Recordings still on the tee are finished before it goes (the owner should have
        // stopped them; a vanished device gives no choice).
        if (recording_) {
            finishing_.push_back(std::move(recording_));
        }
        for (auto& branch : std::vector(finishing_)) {
            branch->FinishAndWait(std::chrono::seconds(5));
        }
        finishing_.clear();
        CloseVideoStream();
        CloseAudioStream();
        if (splitter_) {
            g_signal_handlers_disconnect_by_data(splitter_.get(), &pads_);
        }
        sourcegraph::Remove(graph_, splitter_);
        sourcegraph::Remove(graph_, muxQueue_);
        sourcegraph::Remove(graph_, muxTee_);
        sourcegraph::Remove(graph_, scene_);
        sourcegraph::Remove(graph_, SourceFilter);
        graph_ = nullptr;
    }

    TVideoStreamPads OpenVideoStream(int n, bool halfSize) override {
        if (n < 1 || n > VideoStreamCount || !splitter_ || graph_ == nullptr) {
            return {};
        }
        CloseVideoStream();
        TFilterGraph& g = *graph_;
        vQueue_ = sourcegraph::Make(g, Decoupler(g), "");
        nativeTee_ = sourcegraph::Make(g, "tee", "dv_nativeinfinite");
        decQueue_ = sourcegraph::Make(g, "queue", "");
        dec_ = sourcegraph::Make(g, "avdec_dvvideo", "dv_dec");
        GstElement* last = dec_.get();
        bool ok = vQueue_ && nativeTee_ && decQueue_ && dec_ && sourcegraph::Add(g, vQueue_) &&
                  sourcegraph::Add(g, nativeTee_) && sourcegraph::Add(g, decQueue_) &&
                  sourcegraph::Add(g, dec_) &&
                  sourcegraph::Link({vQueue_.get(), nativeTee_.get(), decQueue_.get(), dec_.get()});
        if (ok && halfSize) {
            // Half resolution in both directions, as the decoder's half-size display gave.
            scale_ = sourcegraph::Make(g, "videoscale", "");
            half_ = sourcegraph::Make(g, "capsfilter", "");
            ok = scale_ && half_ && sourcegraph::Add(g, scale_) && sourcegraph::Add(g, half_);
            if (ok) {
                auto caps = GstCapsRef::adopt(gst_caps_from_string("video/x-raw, width=(int)360"));
                g_object_set(half_.get(), "caps", caps.get(), nullptr);
                ok = sourcegraph::Link({dec_.get(), scale_.get(), half_.get()});
                last = half_.get();
            }
        }
        if (!ok) {
            CloseVideoStream();
            return {};
        }
        pads_.videoSink = GstPadRef::adopt(gst_element_get_static_pad(vQueue_.get(), "sink"));
        if (auto pad = GstPadRef::adopt(gst_element_get_static_pad(splitter_.get(), "video"))) {
            LinkDemuxPad(pad.get(), pads_);
        }
        return {GstPadRef::adopt(gst_element_get_static_pad(last, "src")), nativeTee_};
    }

    GstPadRef OpenAudioStream(int n) override {
        if (n < 1 || n > AudioStreamCount || !splitter_ || graph_ == nullptr) {
            return {};
        }
        CloseAudioStream();
        aQueue_ = sourcegraph::Make(*graph_, Decoupler(*graph_), "");
        if (!aQueue_ || !sourcegraph::Add(*graph_, aQueue_)) {
            return {};
        }
        if (!graph_->Unpaced()) {
            // The demuxer sends each frame's picture and sound from one thread, so a sound
            // queue that fills stops the pictures too: it is bounded by time only, and long
            // enough for what a recording's sound queue may hold (see the recording inputs).
            g_object_set(aQueue_.get(), "max-size-buffers", 0u, "max-size-bytes", 0u,
                         "max-size-time", guint64(10 * GST_SECOND), nullptr);
        }
        pads_.audioSink = GstPadRef::adopt(gst_element_get_static_pad(aQueue_.get(), "sink"));
        if (auto pad = GstPadRef::adopt(gst_element_get_static_pad(splitter_.get(), "audio"))) {
            LinkDemuxPad(pad.get(), pads_);
        }
        return GstPadRef::adopt(gst_element_get_static_pad(aQueue_.get(), "src"));
    }

    void CloseVideoStream() override {
        pads_.videoSink.reset();
        sourcegraph::Remove(graph_, half_);
        sourcegraph::Remove(graph_, scale_);
        sourcegraph::Remove(graph_, dec_);
        sourcegraph::Remove(graph_, decQueue_);
        sourcegraph::Remove(graph_, nativeTee_);
        sourcegraph::Remove(graph_, vQueue_);
    }

    void CloseAudioStream() override {
        pads_.audioSink.reset();
        sourcegraph::Remove(graph_, aQueue_);
    }

    // Records the camcorder's own frames, untouched, from a further output of the interleaved
    // tee into a type-1 AVI (one interleaved DV stream), while the preview plays on.
    std::shared_ptr<TRecordingBranch> MakeNativeCaptureBranch(const std::string& fileName,
                                                              const std::string& name) override {
        if (graph_ == nullptr || !muxTee_ || fileName.empty()) {
            return nullptr;
        }
        RegisterVidorelElements();
        auto branch = TRecordingBranch::Create(name);
        auto from = branch->AddInput(TInputRole::Native, muxTee_.get());
        GstElement* sink = branch->Make("zv_dvtype1sink", (name + "_type1writer").c_str());
        g_object_set(sink, "location", fileName.c_str(), nullptr);
        branch->Link(from.get(), Pad(sink, PinDirection::Input, 0).get());
        return branch;
    }

    GstElement* SceneDetectorElement() const override { return scene_.get(); }

    bool StartNativeCapture(const std::string& fileName) override {
        if (graph_ == nullptr || recording_) {
            return false;
        }
        try {
            auto branch =
                MakeNativeCaptureBranch(fileName, sourcegraph::UniqueName(*graph_, "CaptureSink"));
            if (!branch) {
                return false;
            }
            branch->Attach(*graph_);
            recording_ = std::move(branch);
            return true;
        } catch (const EGraphError& e) {
            GST_WARNING("native DV capture to %s not started: %s", fileName.c_str(), e.what());
            return false;
        }
    }

    void StopNativeCapture(TRecordingBranch::Done done) override {
        if (!recording_) {
            if (done) {
                done(TRecordingResult{});
            }
            return;
        }
        auto branch = std::move(recording_);
        finishing_.push_back(branch);
        // The device outlives the callback: DetachSource (and so the destructor) waits for
        // every recording it started.
        branch->Finish(
            [this, raw = branch.get(), done = std::move(done)](const TRecordingResult& result) {
                std::erase_if(finishing_, [raw](const auto& b) { return b.get() == raw; });
                if (done) {
                    done(result);
                }
            });
    }

private:
    TDemuxPads pads_;
    GstElementRef scene_, muxTee_, muxQueue_, splitter_;
    std::shared_ptr<TRecordingBranch> recording_;              // the type-1 writer while it records
    std::vector<std::shared_ptr<TRecordingBranch>> finishing_; // stopped, not yet complete
    GstElementRef vQueue_, nativeTee_, decQueue_, dec_, scale_, half_, aQueue_;
};

} // namespace

std::shared_ptr<TCaptureDevice> MakeDVCaptureDevice(devices::DeviceEntry entry, int number) {
    return std::make_shared<TDVCaptureDevice>(std::move(entry), number);
}

} // namespace vidorel
