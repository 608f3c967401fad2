#include "graph/CrossBar.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace vidorel {

namespace {

int Ioctl(int fd, unsigned long request, void* arg) {
    int r;
    do {
        r = ioctl(fd, request, arg);
    } while (r == -1 && errno == EINTR);
    return r;
}

// Closes the descriptor when it goes out of scope.
class TDeviceFile {
public:
    explicit TDeviceFile(const std::string& path)
        : m_fd(open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) {}
    ~TDeviceFile() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    TDeviceFile(const TDeviceFile&) = delete;
    TDeviceFile& operator=(const TDeviceFile&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

class TV4l2Inputs final : public IVideoInputs {
public:
    explicit TV4l2Inputs(std::string path) : m_path(std::move(path)) {}

    std::vector<TVideoInput> Enumerate() override {
        std::vector<TVideoInput> out;
        TDeviceFile dev(m_path);
        if (dev.fd() < 0) {
            return out;
        }
        // Drivers answer EINVAL past the last input; a bound keeps a broken driver from
        // looping for ever.
        for (__u32 i = 0; i < 64; ++i) {
            v4l2_input in{};
            in.index = i;
            if (Ioctl(dev.fd(), VIDIOC_ENUMINPUT, &in) != 0) {
                break;
            }
            const char* name = reinterpret_cast<const char*>(in.name);
            out.push_back({static_cast<int>(in.index),
                           std::string(name, strnlen(name, sizeof in.name)),
                           in.type == V4L2_INPUT_TYPE_TUNER});
        }
        return out;
    }

    bool Select(int index) override {
        TDeviceFile dev(m_path);
        int value = index;
        return dev.fd() >= 0 && Ioctl(dev.fd(), VIDIOC_S_INPUT, &value) == 0;
    }

private:
    std::string m_path;
};

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

} // namespace

std::shared_ptr<IVideoInputs> V4l2Inputs(const std::string& devicePath) {
    return std::make_shared<TV4l2Inputs>(devicePath);
}

std::string PinTypeName(int type) {
    static const char* const video[] = {"Video Tuner",
                                        "Video Composite",
                                        "Video SVideo",
                                        "Video RGB",
                                        "Video YRYBY",
                                        "Video SerialDigital",
                                        "Video ParallelDigital",
                                        "Video SCSI",
                                        "Video AUX",
                                        "Video 1394",
                                        "Video USB",
                                        "Video Decoder",
                                        "Video Encoder",
                                        "Video Scart"};
    static const char* const audio[] = {
        "Audio Tuner", "Audio Line", "Audio Mic",  "Audio AESDigital", "Audio SPDIFDigital",
        "Audio SCSI",  "Audio AUX",  "Audio 1394", "Audio USB",        "Audio Decoder"};
    if (type >= 1 && type <= 14) {
        return video[type - 1];
    }
    if (type >= connector::kFirstAudio && type <= connector::kFirstAudio + 9) {
        return audio[type - connector::kFirstAudio];
    }
    return "Unknown";
}

int ConnectorTypeOf(const TVideoInput& input) {
    if (input.tuner) {
        return connector::kVideoTuner;
    }
    const std::string name = Lower(input.name);
    // "S-Video" and "SVideo" before "Composite": some drivers say "S-Video over Composite".
    if (name.find("s-video") != std::string::npos || name.find("svideo") != std::string::npos) {
        return connector::kVideoSVideo;
    }
    if (name.find("composite") != std::string::npos) {
        return connector::kVideoComposite;
    }
    return connector::kUnknown;
}

bool HasCrossbar(const std::vector<TVideoInput>& inputs) {
    return inputs.size() > 1 ||
           std::any_of(inputs.begin(), inputs.end(), [](const auto& in) { return in.tuner; });
}

TCrossbar::TCrossbar(std::shared_ptr<IVideoInputs> inputs) : m_inputs(std::move(inputs)) {
    if (!m_inputs) {
        return;
    }
    for (auto& in : m_inputs->Enumerate()) {
        TCrRouting step;
        step.InputIndex = in.index;
        step.OutputIndex = 0;
        step.InputPinType = ConnectorTypeOf(in);
        // The one output is the capture path itself.
        step.OutputPinType = connector::kUnknown;
        step.Depth = 0;
        Routes.push_back(TRouteArray{step});
        m_found.push_back(std::move(in));
    }
}

HRESULT TCrossbar::InputType(int route, int& type) const {
    if (route < 0 || route >= InputCount()) {
        return E_FAIL;
    }
    type = Routes[static_cast<size_t>(route)].front().InputPinType;
    return S_OK;
}

HRESULT TCrossbar::InputName(int route, std::string& name) const {
    int type = 0;
    if (InputType(route, type) != S_OK) {
        return E_FAIL;
    }
    name = PinTypeName(type);
    return S_OK;
}

HRESULT TCrossbar::DriverName(int route, std::string& name) const {
    if (route < 0 || route >= InputCount()) {
        return E_FAIL;
    }
    name = m_found[static_cast<size_t>(route)].name;
    return S_OK;
}

HRESULT TCrossbar::RouteInput(int route) {
    if (Routes.empty() || route < 0 || route >= InputCount()) {
        return E_FAIL;
    }
    m_current = route;
    HRESULT result = E_FAIL;
    for (const auto& step : Routes[static_cast<size_t>(route)]) {
        result = m_inputs->Select(step.InputIndex) ? S_OK : E_FAIL;
    }
    return result;
}

} // namespace vidorel
