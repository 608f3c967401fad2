#pragma once

// Writes DV metadata back into DV frames made by the DV encoder.
//
//     gst-launch-1.0 ... ! avenc_dvvideo ! zv_dvheader ! avimux ! filesink location=out.avi
//
// With a scene source, the header, subcode and VAUX blocks (the first 480 bytes) of DIF
// sequences 0 to 9 are restored from the scene detector's header ring entry that the overlay
// marked for the frame it drew last, so a re-encoded capture keeps the camcorder's recording
// date, timecode and aspect. Without one, "RatioDV" 1 writes the 16:9 marking into those
// sequences. Sequences 10 and 11 of a 625/50 frame are left as the encoder wrote them, and a
// buffer shorter than ten DIF sequences is passed untouched.

#include "filters/BaseClass.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace vidorel {

class TSceneDetector;

class Tzv_DVheader : public TBCTransInPlaceFilter {
public:
    Tzv_DVheader();
    static const FilterDescriptor& Descriptor();

    HRESULT CheckInputType(const GstCaps* caps) override;
    HRESULT Transform(GstBuffer* buffer) override;

    // A zv_scenedetect element (a reference is kept) or null. Any thread.
    void SetSceneSource(GstElement* sceneDetect);
    // "RatioDV": 1 marks every frame 16:9 when there is no scene source.
    void SetRatioDV(int ratio) { m_ratioDV = ratio; }

private:
    struct SceneSource;
    std::shared_ptr<const SceneSource> SceneSnapshot() const;

    std::atomic<int> m_ratioDV{0};
    mutable std::mutex m_sceneLock; // guards the pointer only
    std::shared_ptr<const SceneSource> m_scene;
};

} // namespace vidorel
