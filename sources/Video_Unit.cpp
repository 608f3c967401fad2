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

    bool OpenVideoStream(int n) override {
        VideoPin.reset();
        if (n < 1 || n > VideoStreamCount || !SourceFilter) {
            return false;
        }
        CloseVideoStream();
        tee_ = sourcegraph::Make("tee", "vid_nativeinfinite");
        queue_ = sourcegraph::Make("queue", "");
        convert_ = sourcegraph::Make("videoconvert", "");
        // Raw video only needs converting; anything else goes through a decoder first.
        const GstStructure* s = Entry.caps && gst_caps_get_size(Entry.caps.get()) > 0
                                    ? gst_caps_get_structure(Entry.caps.get(), 0)
                                    : nullptr;
        const bool raw = s && gst_structure_has_name(s, "video/x-raw");
        if (!raw) {
            decoder_ = sourcegraph::Make("decodebin", "");
        }
        if (!tee_ || !queue_ || !convert_ || (!raw && !decoder_) || !sourcegraph::Add(tee_) ||
            !sourcegraph::Add(queue_) || !sourcegraph::Add(convert_) ||
            (decoder_ && !sourcegraph::Add(decoder_))) {
            CloseVideoStream();
            return false;
        }
        bool ok = sourcegraph::Link({SourceFilter.get(), tee_.get(), queue_.get()});
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
            return false;
        }
        VideoPin = GstPadRef::adopt(gst_element_get_static_pad(convert_.get(), "src"));
        NativeTee = tee_;
        return true;
    }
    bool OpenAudioStream(int) override {
        AudioPin.reset();
        return false;
    }
    void CloseVideoStream() override {
        if (NativeTee && NativeTee == tee_) {
            NativeTee.reset();
        }
        if (tee_ || convert_) {
            VideoPin.reset();
        }
        sourcegraph::Remove(convert_);
        sourcegraph::Remove(decoder_);
        sourcegraph::Remove(queue_);
        sourcegraph::Remove(tee_);
    }
    void CloseAudioStream() override {}
    GstElement* AttachSource() override { return AttachBoundSource(); }
    void DetachSource() override { sourcegraph::Remove(SourceFilter); }
    void StartNativeCapture(const std::string&) override {}
    void StopNativeCapture() override {}

private:
    GstElementRef tee_, queue_, decoder_, convert_;
};

} // namespace

std::shared_ptr<TCaptureDevice> MakeVideoCaptureDevice(devices::DeviceEntry entry, int number) {
    return std::make_shared<TVideoCaptureDevice>(std::move(entry), number);
}

} // namespace vidorel
