#include "devices/GeneratedTape.h"

#include "devices/dvtape/DvTape.h"

#include <span>
#include <stdexcept>

namespace vidorel::devices {

namespace {

class TGeneratedTape final : public TFrameSource {
public:
    explicit TGeneratedTape(dvtape::TapeDescription d) : tape_(std::move(d)) {}
    int64_t FrameCount() const override { return static_cast<int64_t>(tape_.frameCount()); }
    size_t FrameSize() const override { return tape_.frameBytes(); }
    int FramesPerSecond() const override {
        return tape_.description().system == dvtape::DvSystem::Pal625 ? 25 : 30;
    }
    uint64_t FrameDurationNs() const override {
        return 1'000'000'000ULL * static_cast<uint64_t>(tape_.fpsDenominator()) /
               static_cast<uint64_t>(tape_.fpsNumerator());
    }
    bool ReadFrame(int64_t index, uint8_t* dst) override {
        try {
            return index >= 0 && tape_.renderFrame(static_cast<uint64_t>(index),
                                                   std::span<uint8_t>(dst, FrameSize()));
        } catch (const std::exception&) {
            // Without a DV encoder the deck has nothing to play.
            return false;
        }
    }
    uint32_t TimecodeBcd(int64_t index) const override {
        if (index < 0 || static_cast<uint64_t>(index) >= tape_.frameCount()) {
            return TFrameSource::TimecodeBcd(index);
        }
        const dvtape::Timecode tc = tape_.facts(static_cast<uint64_t>(index)).timecode;
        return PackBcdTimecode(tc.hours, tc.minutes, tc.seconds, tc.frames);
    }

private:
    dvtape::DvTape tape_;
};

} // namespace

std::shared_ptr<TFrameSource> MakeStandardTestTape() {
    dvtape::TapeDescription d;
    d.system = dvtape::DvSystem::Pal625;
    // Three holidays and a gap of blank-dated frames between each: enough for scene changes,
    // date inlays and the aspect switch to show within half a minute of tape.
    d.recordings = {
        {dvtape::CivilDateTime{2004, 7, 14, 10, 0, 0}, 250, false, true},
        {std::nullopt, 25, false, true},
        {dvtape::CivilDateTime{2004, 7, 14, 15, 30, 12}, 250, true, true},
        {std::nullopt, 25, false, true},
        {dvtape::CivilDateTime{2005, 1, 1, 0, 0, 5}, 250, false, true},
    };
    try {
        return std::make_shared<TGeneratedTape>(std::move(d));
    } catch (const std::exception&) {
        return nullptr;
    }
}

} // namespace vidorel::devices
