#include "sources/Plugin.h"

#include "plugins/pzv.h"
#include "sources/SourceNames.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

GST_DEBUG_CATEGORY_STATIC(vidorel_plugin_debug);
#define GST_CAT_DEFAULT vidorel_plugin_debug

namespace vidorel {

struct TPlugInCaptureDevice::Exports {
    pi_drivername_t drivername = nullptr;
    pi_friendlyname_t friendlyname = nullptr;
    pi_create_t create = nullptr;
    pi_destroy_t destroy = nullptr;
    pi_sourcefilter_t sourcefilter = nullptr;
    pi_nbfluxvideo_t nbfluxvideo = nullptr;
    pi_nbfluxaudio_t nbfluxaudio = nullptr;
    pi_setsourcegraph_t setsourcegraph = nullptr;
    pi_killsourcegraph_t killsourcegraph = nullptr;
    pi_setvideograph_t setvideograph = nullptr;
    pi_getnativeinfinite_t getnativeinfinite = nullptr;
    pi_getformatnatif_t getformatnatif = nullptr;
    pi_getformatmux_t getformatmux = nullptr;
    pi_killvideograph_t killvideograph = nullptr;
    pi_setaudiograph_t setaudiograph = nullptr;
    pi_killaudiograph_t killaudiograph = nullptr;
    pi_buildmuxgraph_t buildmuxgraph = nullptr;
    pi_killmuxgraph_t killmuxgraph = nullptr;
};

namespace {

void InitDebug() {
    static const bool once = [] {
        GST_DEBUG_CATEGORY_INIT(vidorel_plugin_debug, "vidorelplugin", 0, "Vidorel plug-ins");
        return true;
    }();
    (void)once;
}

template <class F> F Resolve(void* module, const char* name) {
    return reinterpret_cast<F>(::dlsym(module, name));
}

// Asks a text of the module into a buffer of the size the interface promises.
template <class F> std::string AskText(F call) {
    std::vector<char> buffer(PZV_TEXT_SIZE, '\0');
    call(buffer.data(), buffer.size());
    return PluginText(buffer.data(), buffer.size());
}

GstPipeline* PipelineOf(TFilterGraph* graph) {
    return graph != nullptr ? GST_PIPELINE(graph->Pipeline()) : nullptr;
}

} // namespace

std::string PluginText(const char* buffer, size_t size) {
    // Within the buffer only: a plug-in that forgot the NUL is not read past its end.
    const size_t length = ::strnlen(buffer, size);
    return std::string(buffer, std::min<size_t>(length, PZV_NAME_MAX));
}

int TpluginList::IndexOfDriver(const std::string& name) const {
    for (size_t i = 0; i < Items.size(); ++i) {
        if (Items[i].DriverName == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TpluginList& PluginList() {
    static TpluginList list;
    return list;
}

void ScanPlugins(const std::string& folder) {
    InitDebug();
    TpluginList& list = PluginList();
    list.Items.clear();
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (entry.path().extension() == ".pzv") {
            files.push_back(entry.path().string());
        }
    }
    // In a stable order, so that of two plug-ins with one driver name the same one wins.
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            GST_INFO("%s is not a plug-in: %s", path.c_str(), ::dlerror());
            continue;
        }
        TpluginData data;
        data.PluginPath = path;
        if (auto drivername = Resolve<pi_drivername_t>(module, "pi_drivername")) {
            data.DriverName = AskText(drivername);
        }
        list.Items.push_back(std::move(data));
        ::dlclose(module);
    }
}

TPlugInCaptureDevice::TPlugInCaptureDevice(devices::DeviceEntry entry, int number,
                                           const std::string& path)
    : TCaptureDevice(std::move(entry), number, kKindPlugin), exports_(std::make_unique<Exports>()) {
    InitDebug();
    module_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr) {
        return;
    }
    Exports& x = *exports_;
#define VIDOREL_RESOLVE(name) x.name = Resolve<pi_##name##_t>(module_, "pi_" #name)
    VIDOREL_RESOLVE(drivername);
    VIDOREL_RESOLVE(friendlyname);
    VIDOREL_RESOLVE(create);
    VIDOREL_RESOLVE(destroy);
    VIDOREL_RESOLVE(sourcefilter);
    VIDOREL_RESOLVE(nbfluxvideo);
    VIDOREL_RESOLVE(nbfluxaudio);
    VIDOREL_RESOLVE(setsourcegraph);
    VIDOREL_RESOLVE(killsourcegraph);
    VIDOREL_RESOLVE(setvideograph);
    VIDOREL_RESOLVE(getnativeinfinite);
    VIDOREL_RESOLVE(getformatnatif);
    VIDOREL_RESOLVE(getformatmux);
    VIDOREL_RESOLVE(killvideograph);
    VIDOREL_RESOLVE(setaudiograph);
    VIDOREL_RESOLVE(killaudiograph);
    VIDOREL_RESOLVE(buildmuxgraph);
    VIDOREL_RESOLVE(killmuxgraph);
#undef VIDOREL_RESOLVE
    const std::string driver = x.drivername ? AskText(x.drivername) : std::string();
    if (driver != Entry.friendlyName) {
        GST_WARNING("%s names its driver \"%s\", not \"%s\"", path.c_str(), driver.c_str(),
                    Entry.friendlyName.c_str());
        return;
    }
    const std::string friendly = x.friendlyname ? AskText(x.friendlyname) : std::string();
    FriendlyName = Entry.friendlyName;
    DisplayName = DeviceDisplayName(kKindPlugin, friendly, number);
    if (x.create) {
        x.create(&instance_);
    }
    if (instance_ == 0) {
        GST_WARNING("%s gave no instance", path.c_str());
        return;
    }
    if (x.sourcefilter) {
        GstElement* source = nullptr;
        x.sourcefilter(&instance_, &source);
        SourceFilter = GstElementRef::adopt(source);
    }
    int32_t count = 0;
    if (x.nbfluxvideo) {
        x.nbfluxvideo(&instance_, &count);
        VideoStreamCount = std::max(0, count);
    }
    count = 0;
    if (x.nbfluxaudio) {
        x.nbfluxaudio(&instance_, &count);
        AudioStreamCount = std::max(0, count);
    }
    // The formats of its own stream, known before a stream opens so that the format list can
    // offer them from the start; asked again when the stream opens.
    ReadFormats();
    Valid = true;
}

void TPlugInCaptureDevice::ReadFormats() {
    int32_t format = 0;
    if (exports_->getformatnatif) {
        exports_->getformatnatif(&instance_, &format);
    }
    NativeFormat = static_cast<uint8_t>(format & 0xFF);
    format = 0;
    if (exports_->getformatmux) {
        exports_->getformatmux(&instance_, &format);
    }
    MuxedFormat = static_cast<uint8_t>(format & 0xFF);
}

TPlugInCaptureDevice::~TPlugInCaptureDevice() {
    alive_.reset();
    CloseVideoStream();
    CloseAudioStream();
    DetachSource();
    SourceFilter.reset();
    if (instance_ != 0 && exports_->destroy) {
        exports_->destroy(&instance_);
    }
    if (module_ != nullptr) {
        ::dlclose(module_);
    }
}

GstElement* TPlugInCaptureDevice::AttachSource(TFilterGraph& graph) {
    if (!Valid) {
        return nullptr;
    }
    graph_ = &graph;
    // At every stream opening: the plug-in tolerates a source already there.
    if (exports_->setsourcegraph) {
        GstElement* source = nullptr;
        exports_->setsourcegraph(&instance_, &source, PipelineOf(graph_));
        SourceFilter = GstElementRef::adopt(source);
    }
    return SourceFilter.get();
}

void TPlugInCaptureDevice::DetachSource() {
    if (graph_ == nullptr) {
        return;
    }
    if (exports_->killsourcegraph && instance_ != 0) {
        exports_->killsourcegraph(&instance_, PipelineOf(graph_));
    }
    graph_ = nullptr;
}

TVideoStreamPads TPlugInCaptureDevice::OpenVideoStream(int n, bool) {
    TVideoStreamPads pads;
    if (!Valid || graph_ == nullptr || n < 1 || n > VideoStreamCount || !exports_->setvideograph) {
        return pads;
    }
    GstPad* pin = nullptr;
    gboolean flip = FALSE;
    exports_->setvideograph(&instance_, n, &pin, PipelineOf(graph_), &flip);
    pads.Pin = GstPadRef::adopt(pin);
    pads.FlipOnCopy = flip != FALSE;
    if (!pads.Pin) {
        return pads;
    }
    videoOpen_ = true;
    if (exports_->getnativeinfinite) {
        GstElement* tee = nullptr;
        exports_->getnativeinfinite(&instance_, &tee);
        nativeTee_ = GstElementRef::adopt(tee);
        pads.NativeTee = nativeTee_;
    }
    ReadFormats();
    return pads;
}

GstPadRef TPlugInCaptureDevice::OpenAudioStream(int n) {
    if (!Valid || graph_ == nullptr || n < 1 || n > AudioStreamCount || !exports_->setaudiograph) {
        return {};
    }
    GstPad* pin = nullptr;
    gboolean unused = FALSE;
    exports_->setaudiograph(&instance_, n, &pin, PipelineOf(graph_), &unused);
    audioOpen_ = pin != nullptr;
    return GstPadRef::adopt(pin);
}

void TPlugInCaptureDevice::CloseVideoStream() {
    if (!videoOpen_) {
        return;
    }
    videoOpen_ = false;
    nativeTee_.reset();
    if (exports_->killvideograph) {
        GstPad* pin = nullptr;
        exports_->killvideograph(&instance_, &pin, PipelineOf(graph_));
    }
}

void TPlugInCaptureDevice::CloseAudioStream() {
    if (!audioOpen_) {
        return;
    }
    audioOpen_ = false;
    if (exports_->killaudiograph) {
        GstPad* pin = nullptr;
        exports_->killaudiograph(&instance_, &pin, PipelineOf(graph_));
    }
}

std::shared_ptr<TRecordingBranch>
TPlugInCaptureDevice::MakeNativeCaptureBranch(const std::string& fileName,
                                              const std::string& name) {
    if (!Valid || !exports_->buildmuxgraph || NativeFormat == 0) {
        return nullptr;
    }
    // The native tee the plug-in handed over when its video stream opened.
    if (!nativeTee_) {
        return nullptr;
    }
    auto branch = TRecordingBranch::Create(name);
    GstPadRef native = branch->AddInput(TInputRole::Native, nativeTee_.get());
    exports_->buildmuxgraph(&instance_, branch->Bin(), native.get(), fileName.c_str());
    // Something must take the stream: a plug-in that built nothing records nothing.
    if (!gst_pad_is_linked(native.get())) {
        throw EGraphError("the plug-in built no recording for " + fileName,
                          graph_error::kCannotConnect);
    }
    if (exports_->killmuxgraph) {
        std::weak_ptr<bool> alive = alive_;
        auto bin = GstElementRef::ref(branch->BinElement());
        branch->WhenDone([this, alive, bin](const TRecordingResult&) {
            if (alive.lock()) {
                exports_->killmuxgraph(&instance_, GST_BIN(bin.get()));
            }
        });
    }
    return branch;
}

} // namespace vidorel
