#pragma once

// What a property page of an element shows and keeps: the settings that can be changed while
// it runs, and the ones that differ from the element's defaults, as text that sets them again
// (the properties of a moniker, kept in the store).

#include <gst/gst.h>

#include <string>
#include <utility>
#include <vector>

namespace vidorel {

using TSettings = std::vector<std::pair<std::string, std::string>>;

// The element a source's page shows: the source itself, or the first source element inside
// it when it is a bin; null when there is none.
GstElement* PageElementOf(GstElement* source);

// The settings a page offers: readable and writable after construction, of a plain type
// (boolean, number, choice, text), minus those that would take the device away or end its
// stream (its name, device node, buffer count, liveness).
std::vector<GParamSpec*> EditableProperties(GstElement* element);

// The page's settings of `element` whose values differ from a new element of its factory, in
// the order of the page, as text (gst_value_serialize).
TSettings ChangedSettings(GstElement* element);

// Sets each setting (gst_util_set_object_arg); names the element does not have are skipped.
void ApplySettings(GstElement* element, const TSettings& settings);

} // namespace vidorel
