#pragma once

// Writes DV metadata back into DV frames made by the DV encoder.
//
//     gst-launch-1.0 ... ! avenc_dvvideo ! zv_dvheader ! avimux ! filesink location=out.avi
//
// A frame that carries the scene detector's record (TDVFrameMeta, copied along by the decoder,
// the converters and the encoder) gets the subcode and VAUX blocks (bytes 80 to 479) of DIF
// sequences 0 to 9 of its own source frame back, so a re-encoded capture keeps the camcorder's
// recording date, timecode and aspect however many frames queues hold in between. The DIF
// header block before them stays the encoder's: it describes the encoded data.
// Any other frame is marked 16:9 in those sequences when "RatioDV" is 1. Sequences 10 and 11 of
// a 625/50 frame are left as the encoder wrote them, and a buffer shorter than ten DIF sequences
// is passed untouched.

#include "filters/BaseClass.h"

#include <atomic>

namespace vidorel {

class Tzv_DVheader : public TBCTransInPlaceFilter {
public:
    Tzv_DVheader();
    static const FilterDescriptor& Descriptor();

    HRESULT CheckInputType(const GstCaps* caps) override;
    HRESULT Transform(GstBuffer* buffer) override;

    // "RatioDV": 1 marks every frame without a record 16:9. Any thread.
    void SetRatioDV(int ratio) { m_ratioDV = ratio; }

private:
    std::atomic<int> m_ratioDV{0};
};

} // namespace vidorel
