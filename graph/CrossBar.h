#pragma once

// Crossbar routing: which physical input of a capture device feeds its capture path.
//
// A V4L2 device lists its video inputs (VIDIOC_ENUMINPUT) and captures from one of them at a
// time (VIDIOC_S_INPUT): that choice is what a crossbar's routing was, with one level and one
// output. Each input is one route; its connector type comes from the input's kind (tuner) or
// from its name (Composite, S-Video), as drivers name them.
//
// Main (UI) thread only.

#include "filters/BaseClass.h" // HRESULT codes

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vidorel {

// Physical connector types of crossbar inputs (the numbers the video menu and the preference
// "Video Input Select" have always used).
namespace connector {
inline constexpr int kUnknown = 0;
inline constexpr int kVideoTuner = 1;
inline constexpr int kVideoComposite = 2;
inline constexpr int kVideoSVideo = 3;
inline constexpr int kFirstAudio = 4096; // types from here on are audio connectors
} // namespace connector

// The name of a connector type ("Video Tuner", "Audio Line", ... , "Unknown").
std::string PinTypeName(int type);

// One input of a capture device as its driver lists it.
struct TVideoInput {
    int index = 0;    // the driver's input number
    std::string name; // "Composite1", "S-Video", "Television", "Camera 1"
    bool tuner = false;
};

// The inputs of one capture device and the selection among them.
class IVideoInputs {
public:
    virtual ~IVideoInputs() = default;
    // The inputs in the driver's order; empty when the device cannot be asked.
    virtual std::vector<TVideoInput> Enumerate() = 0;
    // Captures from the input with that driver number; false when the driver refused.
    virtual bool Select(int index) = 0;
};

// The inputs of the V4L2 device at `devicePath` (/dev/videoN). The device is opened for each
// call only, so a source element may hold it meanwhile.
std::shared_ptr<IVideoInputs> V4l2Inputs(const std::string& devicePath);

// The connector type of a driver's input.
int ConnectorTypeOf(const TVideoInput& input);

// Whether inputs like these make a crossbar worth offering: a choice of several inputs or a
// tuner. A webcam's single camera input is not one.
bool HasCrossbar(const std::vector<TVideoInput>& inputs);

// One step of a route: the crossbar input routed to an output, with the related audio pins.
struct TCrRouting {
    int InputIndex = 0;
    int OutputIndex = 0;
    int AudioInputIndex = -1;
    int AudioOutputIndex = -1;
    int InputPinType = connector::kUnknown;
    int OutputPinType = connector::kUnknown;
    int Depth = 0;
};
// Element 0 is the most upstream step; V4L2 devices have one level, so one element.
using TRouteArray = std::vector<TCrRouting>;

class TCrossbar {
public:
    // Collects the routes of `inputs`; null (or a device without inputs) gives no routes.
    explicit TCrossbar(std::shared_ptr<IVideoInputs> inputs);

    int InputCount() const { return static_cast<int>(Routes.size()); }
    // E_FAIL when `route` is not below InputCount().
    HRESULT InputType(int route, int& type) const;
    HRESULT InputName(int route, std::string& name) const;
    // The driver's own name of the route's input (the menu may prefer it to the type name).
    HRESULT DriverName(int route, std::string& name) const;
    // Routes the input of `route`: E_FAIL when there are no routes, `route` is out of range or
    // the driver refused; S_OK otherwise. A valid index becomes the current input even when
    // the driver refused it.
    HRESULT RouteInput(int route);
    // The route routed last through RouteInput, -1 before.
    int CurrentInput() const { return m_current; }

    std::vector<TRouteArray> Routes;

private:
    std::shared_ptr<IVideoInputs> m_inputs;
    std::vector<TVideoInput> m_found; // the driver's inputs of each route, by route index
    int m_current = -1;
};

} // namespace vidorel
