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
    bool OpenVideoStream(int) override {
        VideoPin.reset();
        return false;
    }
    bool OpenAudioStream(int n) override {
        AudioPin.reset();
        if (n < 1 || n > AudioStreamCount || !SourceFilter) {
            return false;
        }
        AudioPin = GstPadRef::adopt(gst_element_get_static_pad(SourceFilter.get(), "src"));
        return static_cast<bool>(AudioPin);
    }
    void CloseVideoStream() override {}
    void CloseAudioStream() override { AudioPin.reset(); }
    GstElement* AttachSource() override { return AttachBoundSource(); }
    void DetachSource() override { sourcegraph::Remove(SourceFilter); }
    // Audio devices record no native stream.
    void StartNativeCapture(const std::string&) override {}
    void StopNativeCapture() override {}
};

} // namespace

std::shared_ptr<TCaptureDevice> MakeAudioCaptureDevice(devices::DeviceEntry entry, int number) {
    return std::make_shared<TAudioCaptureDevice>(std::move(entry), number);
}

} // namespace vidorel
