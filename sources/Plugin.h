#pragma once

// Plug-in sources: ".pzv" modules (plugins/pzv.h) that each take over the capture devices
// whose system name equals their driver name. The plug-in folder is scanned once at start; a
// device the list claims becomes a TPlugInCaptureDevice, which loads its own copy of the
// module, creates an instance and lets the plug-in build its source, streams and recordings.
//
// Main (UI) thread only. What a plug-in does inside its calls is beyond the program: a plug-in
// that crashes takes the program with it, as any code loaded into it would.

#include "sources/CaptureSources.h"

#include <memory>
#include <string>
#include <vector>

namespace vidorel {

struct TpluginData {
    std::string DriverName;
    std::string PluginPath;
    // Cleared when binding a device to it failed (the system report shows it in red); the
    // next refresh tries again all the same.
    bool Enabled = true;
};

class TpluginList {
public:
    // The first entry with that driver name (exact, case-sensitive), disabled or not; -1.
    int IndexOfDriver(const std::string& name) const;
    int Count() const { return static_cast<int>(Items.size()); }
    std::vector<TpluginData> Items;
};

// The program's one list.
TpluginList& PluginList();

// Empties the list and adds every "*.pzv" of `folder` that loads as a module, in the order of
// their file names, with its driver name; each module is unloaded again at once.
void ScanPlugins(const std::string& folder);

// The driver name a module reports, read as the program reads every text of a plug-in:
// within its buffer, up to the first NUL, at most 255 characters.
std::string PluginText(const char* buffer, size_t size);

class TPlugInCaptureDevice : public TCaptureDevice {
public:
    static constexpr uint8_t kKindPlugin = 2;

    // Binds `entry` to the plug-in at `path`; Valid tells whether the device is usable.
    TPlugInCaptureDevice(devices::DeviceEntry entry, int number, const std::string& path);
    ~TPlugInCaptureDevice() override;

    GstElement* AttachSource(TFilterGraph& graph) override;
    void DetachSource() override;
    TVideoStreamPads OpenVideoStream(int n, bool halfSize) override;
    GstPadRef OpenAudioStream(int n) override;
    void CloseVideoStream() override;
    void CloseAudioStream() override;
    std::shared_ptr<TRecordingBranch> MakeNativeCaptureBranch(const std::string& fileName,
                                                              const std::string& name) override;

    // What the module exports (null when missing), for tests.
    struct Exports;
    const Exports& Calls() const { return *exports_; }

private:
    void ReadFormats();

    void* module_ = nullptr;
    intptr_t instance_ = 0;
    std::unique_ptr<Exports> exports_;
    bool videoOpen_ = false;
    bool audioOpen_ = false;
    GstElementRef nativeTee_; // from the video stream's opening to its close
    // Recordings outlive a call; they tell the plug-in only while the device is there.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace vidorel
