#include "sources/Video_Unit.h"

#include "devices/DeviceKind.h"
#include "sources/SourceGraph.h"

namespace vidorel {
namespace {

class TVideoCaptureDevice final : public TCaptureDevice {
public:
    TVideoCaptureDevice(devices::DeviceEntry entry, int number)
        : TCaptureDevice(std::move(entry), number, devices::kKindVideo) {
        NativeFormat = 5;
        VideoStreamCount = 1;
        Valid = true;
    }
    ~TVideoCaptureDevice() override {
        CloseVideoStream();
        DetachSource();
    }

    TVideoStreamPads OpenVideoStream(int n, bool) override {
        if (n < 1 || n > VideoStreamCount || !SourceFilter || graph_ == nullptr) {
            return {};
        }
        CloseVideoStream();
        TFilterGraph& g = *graph_;
        tee_ = sourcegraph::Make(g, "tee", "vid_nativeinfinite");
        queue_ = sourcegraph::Make(g, "queue", "");
        convert_ = sourcegraph::Make(g, "videoconvert", "");
        // Raw video only needs converting; anything else goes through a decoder first.
        const GstStructure* s = Entry.caps && gst_caps_get_size(Entry.caps.get()) > 0
                                    ? gst_caps_get_structure(Entry.caps.get(), 0)
                                    : nullptr;
        const bool raw = s && gst_structure_has_name(s, "video/x-raw");
        if (!raw) {
            decoder_ = sourcegraph::Make(g, "decodebin", "");
        }
        if (!tee_ || !queue_ || !convert_ || (!raw && !decoder_) || !sourcegraph::Add(g, tee_) ||
            !sourcegraph::Add(g, queue_) || !sourcegraph::Add(g, convert_) ||
            (decoder_ && !sourcegraph::Add(g, decoder_))) {
            CloseVideoStream();
            return {};
        }
        bool ok = true;
        if (!ChosenFormat.empty()) {
            // The size and rate chosen on the capture pin's page.
            format_ = sourcegraph::Make(g, "capsfilter", "");
            auto caps = GstCapsRef::adopt(gst_caps_from_string(ChosenFormat.c_str()));
            ok = format_ && caps && sourcegraph::Add(g, format_);
            if (ok) {
                g_object_set(format_.get(), "caps", caps.get(), nullptr);
            }
        }
        ok = ok &&
             (format_
                  ? sourcegraph::Link({SourceFilter.get(), format_.get(), tee_.get(), queue_.get()})
                  : sourcegraph::Link({SourceFilter.get(), tee_.get(), queue_.get()}));
        if (raw) {
            ok = ok && sourcegraph::Link({queue_.get(), convert_.get()});
        } else {
            ok = ok && sourcegraph::Link({queue_.get(), decoder_.get()});
            g_signal_connect(decoder_.get(), "pad-added",
                             G_CALLBACK(+[](GstElement*, GstPad* pad, gpointer convert) {
                                 auto sink = GstPadRef::adopt(
                                     gst_element_get_static_pad(GST_ELEMENT(convert), "sink"));
                                 if (!gst_pad_is_linked(sink.get())) {
                                     gst_pad_link(pad, sink.get());
                                 }
                             }),
                             convert_.get());
        }
        if (!ok) {
            CloseVideoStream();
            return {};
        }
        return {GstPadRef::adopt(gst_element_get_static_pad(convert_.get(), "src")), tee_};
    }
    GstPadRef OpenAudioStream(int) override { return {}; }
    void CloseVideoStream() override {
        sourcegraph::Remove(graph_, convert_);
        sourcegraph::Remove(graph_, decoder_);
        sourcegraph::Remove(graph_, queue_);
        sourcegraph::Remove(graph_, tee_);
        sourcegraph::Remove(graph_, format_);
    }
    void CloseAudioStream() override {}
    GstElement* AttachSource(TFilterGraph& graph) override { return AttachBoundSource(graph); }
    void DetachSource() override {
        CloseVideoStream();
        sourcegraph::Remove(graph_, SourceFilter);
        graph_ = nullptr;
    }

private:
    GstElementRef tee_, queue_, decoder_, convert_, format_;
};

} // namespace

std::shared_ptr<TCaptureDevice> MakeVideoCaptureDevice(devices::DeviceEntry entry, int number) {
    return std::make_shared<TVideoCaptureDevice>(std::move(entry), number);
}

} // namespace vidorel
