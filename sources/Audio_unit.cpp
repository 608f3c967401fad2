#include "sources/Audio_unit.h"

#include "devices/DeviceKind.h"
#include "sources/SourceGraph.h"

namespace vidorel {
namespace {

class TAudioCaptureDevice final : public TCaptureDevice {
public:
    TAudioCaptureDevice(devices::DeviceEntry entry, int number)
        : TCaptureDevice(std::move(entry), number, devices::kKindAudio) {
        AudioStreamCount = 1;
        Valid = true;
    }
    ~TAudioCaptureDevice() override { DetachSource(); }

    TVideoStreamPads OpenVideoStream(int, bool) override { return {}; }
    GstPadRef OpenAudioStream(int n) override {
        if (n < 1 || n > AudioStreamCount || !SourceFilter) {
            return {};
        }
        return GstPadRef::adopt(gst_element_get_static_pad(SourceFilter.get(), "src"));
    }
    void CloseVideoStream() override {}
    void CloseAudioStream() override {}
    GstElement* AttachSource(TFilterGraph& graph) override { return AttachBoundSource(graph); }
    void DetachSource() override {
        sourcegraph::Remove(graph_, SourceFilter);
        graph_ = nullptr;
    }
};

} // namespace

std::shared_ptr<TCaptureDevice> MakeAudioCaptureDevice(devices::DeviceEntry entry, int number) {
    return std::make_shared<TAudioCaptureDevice>(std::move(entry), number);
}

} // namespace vidorel
