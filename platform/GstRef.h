#pragma once

// RAII handles for GLib/GStreamer references. Construction says whether the handle adopts a
// reference the caller already owns (Adopt: the result of a *_new/*_get_* "transfer full" call)
// or takes a reference of its own (Ref: a borrowed pointer), so ownership reads at the call site:
//
//     auto pad = GstRef<GstPad>::adopt(gst_element_get_static_pad(e, "src"));
//     auto peer = GstRef<GstElement>::ref(borrowedElement);

#include <gst/gst.h>

#include <utility>

namespace vidorel {

template <typename T> struct GstRefTraits;

// GstObject and everything derived from it (elements, pads, bins, clocks, buses, ...).
template <typename T> struct GstObjectTraits {
    static T* ref(T* p) { return static_cast<T*>(gst_object_ref(p)); }
    static void unref(T* p) { gst_object_unref(p); }
};
#define VIDOREL_GST_OBJECT_TRAITS(T)                                                               \
    template <> struct GstRefTraits<T> : GstObjectTraits<T> {}
VIDOREL_GST_OBJECT_TRAITS(GstObject);
VIDOREL_GST_OBJECT_TRAITS(GstElement);
VIDOREL_GST_OBJECT_TRAITS(GstPad);
VIDOREL_GST_OBJECT_TRAITS(GstBin);
VIDOREL_GST_OBJECT_TRAITS(GstPipeline);
VIDOREL_GST_OBJECT_TRAITS(GstBus);
VIDOREL_GST_OBJECT_TRAITS(GstClock);
VIDOREL_GST_OBJECT_TRAITS(GstElementFactory);
VIDOREL_GST_OBJECT_TRAITS(GstPluginFeature);
VIDOREL_GST_OBJECT_TRAITS(GstPlugin);
VIDOREL_GST_OBJECT_TRAITS(GstDevice);
VIDOREL_GST_OBJECT_TRAITS(GstDeviceMonitor);
VIDOREL_GST_OBJECT_TRAITS(GstDeviceProvider);
VIDOREL_GST_OBJECT_TRAITS(GstPadTemplate);
#undef VIDOREL_GST_OBJECT_TRAITS

// Mini objects.
template <typename T> struct GstMiniObjectTraits {
    static T* ref(T* p) {
        return reinterpret_cast<T*>(gst_mini_object_ref(GST_MINI_OBJECT_CAST(p)));
    }
    static void unref(T* p) { gst_mini_object_unref(GST_MINI_OBJECT_CAST(p)); }
};
#define VIDOREL_GST_MINI_TRAITS(T)                                                                 \
    template <> struct GstRefTraits<T> : GstMiniObjectTraits<T> {}
VIDOREL_GST_MINI_TRAITS(GstCaps);
VIDOREL_GST_MINI_TRAITS(GstBuffer);
VIDOREL_GST_MINI_TRAITS(GstMessage);
VIDOREL_GST_MINI_TRAITS(GstEvent);
VIDOREL_GST_MINI_TRAITS(GstQuery);
VIDOREL_GST_MINI_TRAITS(GstSample);
VIDOREL_GST_MINI_TRAITS(GstBufferList);
#undef VIDOREL_GST_MINI_TRAITS

template <> struct GstRefTraits<GstStructure> {
    static GstStructure* ref(GstStructure* p) { return gst_structure_copy(p); }
    static void unref(GstStructure* p) { gst_structure_free(p); }
};
template <> struct GstRefTraits<GError> {
    static GError* ref(GError* p) { return g_error_copy(p); }
    static void unref(GError* p) { g_error_free(p); }
};
template <> struct GstRefTraits<gchar> {
    static gchar* ref(gchar* p) { return g_strdup(p); }
    static void unref(gchar* p) { g_free(p); }
};
template <> struct GstRefTraits<GstIterator> {
    static GstIterator* ref(GstIterator* p) { return gst_iterator_copy(p); }
    static void unref(GstIterator* p) { gst_iterator_free(p); }
};

template <typename T> class GstRef {
public:
    GstRef() = default;
    static GstRef adopt(T* p) { return GstRef(p); }
    static GstRef ref(T* p) { return GstRef(p ? GstRefTraits<T>::ref(p) : nullptr); }

    GstRef(const GstRef& o) : p_(o.p_ ? GstRefTraits<T>::ref(o.p_) : nullptr) {}
    GstRef(GstRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    GstRef& operator=(GstRef o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~GstRef() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Hands the reference to the caller (for "transfer full" parameters).
    T* release() { return std::exchange(p_, nullptr); }
    void reset() {
        if (p_) {
            GstRefTraits<T>::unref(std::exchange(p_, nullptr));
        }
    }
    // For out-parameters of C calls: `gst_foo(&err.out())`.
    T*& out() {
        reset();
        return p_;
    }

    friend bool operator==(const GstRef& a, const GstRef& b) { return a.p_ == b.p_; }

private:
    explicit GstRef(T* p) : p_(p) {}
    T* p_ = nullptr;
};

using GstElementRef = GstRef<GstElement>;
using GstPadRef = GstRef<GstPad>;
using GstCapsRef = GstRef<GstCaps>;
using GstBufferRef = GstRef<GstBuffer>;
using GstMessageRef = GstRef<GstMessage>;
using GstBusRef = GstRef<GstBus>;
using GstClockRef = GstRef<GstClock>;
using GErrorRef = GstRef<GError>;
using GCharRef = GstRef<gchar>;

} // namespace vidorel
