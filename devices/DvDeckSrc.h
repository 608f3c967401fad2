#pragma once

// vidoreldvdecksrc: a live source that plays a tape through a virtual deck, sending one DV
// frame per frame period while the deck's transport says so.
//
//     gst-launch-1.0 vidoreldvdecksrc location=tape.dv ! dvdemux name=d d.video !
//         avdec_dvvideo ! videoconvert ! fakesink
//
// The deck (tape and transport) belongs to the device; the element only reads from it, so the
// tape position survives when the element is rebuilt around the same device.

#include "devices/TapeDeck.h"

#include <gst/gst.h>

#include <memory>

namespace vidorel::devices {

// Registers the element type (idempotent); call after gst_init.
void RegisterDvDeckSrc();

// A new deck source playing `deck` (floating reference, as element factories return).
GstElement* CreateDvDeckSrc(std::shared_ptr<TTapeDeck> deck);

// The deck of a deck source, or null for any other element.
std::shared_ptr<TTapeDeck> DvDeckOf(GstElement* element);

} // namespace vidorel::devices
