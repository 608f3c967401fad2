#pragma once

// The own-filter framework over GstBaseTransform.
//
// A concrete filter is one plain C++ class deriving from TBCTransformFilter (copying: "fill Out
// from In") or TBCTransInPlaceFilter (in place: "change this buffer"), plus one registration line
// in its .cpp:
//
//     // zv_example.h
//     class Tzv_Example : public vidorel::TBCTransInPlaceFilter {
//     public:
//         Tzv_Example() : TBCTransInPlaceFilter("Marlott zv_Example", /*modifiesData=*/true) {}
//         static const vidorel::FilterDescriptor& Descriptor();   // defined by the macro
//         HRESULT CheckInputType(const GstCaps* caps) override;
//         HRESULT Transform(GstBuffer* buffer) override;
//     };
//
//     // zv_example.cpp
//     VIDOREL_DEFINE_FILTER(Tzv_Example, "zv_example", "Marlott zv_Example", "Filter/Video",
//                           "Inverts the picture", "video/x-raw, format=I420", "video/x-raw,
//                           format=I420");
//
//     // filters/Registration.cpp: one line in RegisterAll()
//     ok &= RegisterFilter<Tzv_Example>(plugin);
//
// The GObject machinery lives here once: one abstract GType "VidorelFilter" (a GstBaseTransform
// subclass) whose vfuncs are trampolines into the C++ object, and one concrete GType per filter.
// The C++ object is placement-new'ed into the instance's private area in instance_init and
// destroyed in finalize; the GObject instance struct holds only a plain pointer to it. Every
// trampoline catches C++ exceptions and turns them into GST_ELEMENT_ERROR + GST_FLOW_ERROR (or a
// failed state change / negotiation), so no exception crosses a C frame.
//
// Choices that follow GStreamer rather than DirectShow (recorded in docs/design.md):
// - pads are "sink" and "src" (not "XForm In"/"XForm Out"/"Input"/"Output"); sink is the input;
// - media types are GstCaps; GetMediaType gets the input caps as an argument (GStreamer asks for
//   the output caps before the input is fixed) and CheckInputType is asked about fixed caps only
//   (accept-caps and set-caps); the pad templates state the broad shape of what is handled;
// - CompleteConnect and SetMediaType are called when caps are set on the element (the GStreamer
//   counterpart of a finished connection), with the peer pad;
// - the quality-change notice (EC_QUALITY_CHANGE) is a GST_MESSAGE_QOS on the bus, posted by the
//   filter the first time its Transform answers S_FALSE in a streaming run (start → stop);
// - "Pause from Stopped" is GstBaseTransform's start (READY → PAUSED), "Stop" is its stop
//   (PAUSED → READY); both run on the thread that changes the state.
// - a stream without caps (a file read by filesrc) goes through an in-place filter whose sink
//   template is ANY, as through identity: while the sink pad has no caps, buffers reach Transform
//   without CheckInputType, SetMediaType or CompleteConnect having been called in that streaming
//   run, so such a filter must not depend on them. Every other filter refuses buffers before caps
//   (not-negotiated), as GstBaseTransform does, and caps a filter refused stop the stream as
//   before.
//
// The receive lock (a recursive mutex, one per filter) keeps the streaming calls apart from the
// start and stop calls. Which calls hold it:
// - held: StartStreaming, Stop/StopStreaming, SetMediaType, CompleteConnect, CheckTransform and
//   CheckInputType when caps are set, DecideBufferSize, Transform, EndOfStream, EndFlush,
//   NewSegment;
// - not held: GetMediaType and CheckInputType when they answer caps and accept-caps queries
//   (those arrive on any thread, also while the streaming thread is blocked downstream), and
//   BeginFlush (a flush must get through to unblock a streaming thread stuck in a push). These
//   must be safe without the lock: read only their arguments, constants, or state under a lock
//   of their own.
// - never held across a push: a buffer or event that a filter delivers from inside a call that
//   holds the lock is queued and pushed, in order, right after that call returns and the lock is
//   released (before the output buffer of Transform, and before the event of EndOfStream,
//   EndFlush or NewSegment goes downstream). So a push blocked by a full queue downstream never
//   keeps caps queries, flushes or state changes waiting on the lock.

#include "platform/GstRef.h"

#include <gst/base/gstbasetransform.h>
#include <gst/gst.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <new>
#include <thread>

namespace vidorel {

// HRESULT-like results with the numeric values the filters have always used.
using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT VFW_S_NO_MORE_ITEMS = 0x00040103;
inline constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = static_cast<HRESULT>(0x8004022Au);
inline constexpr HRESULT VFW_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040209u);
inline constexpr HRESULT VFW_E_NOT_FOUND = static_cast<HRESULT>(0x80040216u);
inline constexpr HRESULT VFW_E_WRONG_STATE = static_cast<HRESULT>(0x80040227u);
inline constexpr HRESULT VFW_E_RUNTIME_ERROR = static_cast<HRESULT>(0x8004020Bu);
inline constexpr HRESULT VFW_E_INVALIDMEDIATYPE = static_cast<HRESULT>(0x80040200u);
inline constexpr HRESULT VFW_E_NOT_IN_GRAPH = static_cast<HRESULT>(0x8004025Fu);

constexpr bool Succeeded(HRESULT hr) {
    return hr >= 0;
}
constexpr bool Failed(HRESULT hr) {
    return hr < 0;
}

// PINDIR_INPUT = 0 (the "sink" pad), PINDIR_OUTPUT = 1 (the "src" pad).
enum class PinDirection { Input = 0, Output = 1 };

// What DecideBufferSize sets: the output buffers' count, size in bytes and alignment (bytes, a
// power of two; 1 = none). Filled in with the downstream's request before the call. A size of 0
// means "as large as each input buffer" (no pool; GstBaseTransform sizes every output buffer
// like its input).
struct TBufferProps {
    guint buffers = 1;
    guint size = 0;
    guint align = 1;
};

class TBCTransformFilter;

// What the registration macro records about a concrete filter; read by the GObject glue.
struct FilterDescriptor {
    const char* factoryName; // "zv_scenedetect": the element factory name
    const char* longName;    // "Marlott zv_SceneDetect": element long name (the filter name)
    const char* klass;       // "Filter/Analyzer/Video"
    const char* description;
    const char* sinkCaps; // sink pad template caps (string form)
    const char* srcCaps;  // src pad template caps (string form)
    std::size_t size;     // sizeof and alignof the concrete C++ class
    std::size_t align;
    TBCTransformFilter* (*construct)(void* place); // placement-new of the concrete class
    void (*classInit)(GObjectClass* klass);        // optional: install GObject properties
};

namespace detail {
GType FilterBaseType();
GType RegisterFilterType(const FilterDescriptor& d);
TBCTransformFilter* FilterImpl(gpointer instance);
void AttachElement(TBCTransformFilter* impl, GstBaseTransform* element);
class HookScope;
} // namespace detail

// The copying transform filter (TBCTransformFilter). The virtuals run with the receive lock
// held (a recursive mutex), but for the caps-query and flush-start exceptions listed at the top
// of this file, so StartStreaming/StopStreaming/Stop never run while Transform does. Exceptions
// thrown by any of them are turned into an element error.
class TBCTransformFilter {
public:
    explicit TBCTransformFilter(const char* name);
    virtual ~TBCTransformFilter();
    TBCTransformFilter(const TBCTransformFilter&) = delete;
    TBCTransformFilter& operator=(const TBCTransformFilter&) = delete;

    // --- the contract (in the classic slot order) ---
    // Copying transform: fill `out` from `in`. Times, flags and offsets are already copied
    // from `in` (InitializeOutputSample), and DISCONT is set when the previous sample was
    // dropped. S_OK delivers `out`; S_FALSE drops it (one quality notice per streaming run);
    // a failure code becomes an element error and GST_FLOW_ERROR.
    virtual HRESULT Transform(GstBuffer* in, GstBuffer* out);
    // S_OK when the sink pad may take these fixed caps (anything else refuses them). Also asked
    // for accept-caps queries, then without the receive lock on any thread.
    virtual HRESULT CheckInputType(const GstCaps* caps) = 0;
    // S_OK when input caps `in` may become output caps `out` (both fixed).
    virtual HRESULT CheckTransform(const GstCaps* in, const GstCaps* out) = 0;
    // Set count, size and alignment of the output buffers for the fixed output caps.
    virtual HRESULT DecideBufferSize(const GstCaps* out, TBufferProps& props) = 0;
    // The output caps offered for input caps `in` (one structure, possibly not fixed: ranges
    // while negotiating), position from 0; VFW_S_NO_MORE_ITEMS past the last one. Asked for caps
    // queries, without the receive lock, on any thread.
    virtual HRESULT GetMediaType(int position, const GstCaps* in, GstCapsRef& out) = 0;
    // On READY → PAUSED (start of a streaming run); a failure fails the state change.
    virtual HRESULT StartStreaming();
    // Called by Stop().
    virtual HRESULT StopStreaming();
    // The caps of the pad of that direction were set (fixed caps).
    virtual HRESULT SetMediaType(PinDirection direction, const GstCaps* caps);
    // Called after SetMediaType for each direction; `peer` is the linked pad (may be null).
    virtual HRESULT CompleteConnect(PinDirection direction, GstPad* peer);
    // Stream events seen on the sink pad before they are forwarded downstream. A filter may
    // push buffers of its own from here with Deliver() (a WAV writer rewrites its header at
    // EndOfStream); they go downstream before the event. A failure posts an element error; the
    // event is forwarded all the same. NewSegment gets the segment that will go downstream and
    // may change it (the timestamp normaliser starts it at 0); GstBaseTransform then keeps the
    // changed one as its segment. BeginFlush runs without the receive lock, possibly while
    // Transform runs on the streaming thread: it may only touch state under its own lock.
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(GstSegment& segment);

    // The override-Stop hook (PAUSED → READY): a concrete filter that overrides it calls
    // TBCTransformFilter::Stop() and does its own work before or after (scene detection reports its
    // last scene there). The default takes the receive lock and calls StopStreaming.
    virtual HRESULT Stop();

    // Optional GObject properties: a filter that installs properties in a static
    // `ClassInit(GObjectClass*)` handles them here (ids as installed).
    virtual void SetProperty(guint id, const GValue* value, GParamSpec* pspec);
    virtual void GetProperty(guint id, GValue* value, GParamSpec* pspec);

    // --- services for the concrete filter ---
    const char* Name() const { return m_name; }
    // The element this object lives in (valid for the object's whole life, after construction:
    // not inside the concrete class's constructor).
    GstElement* Element() const { return GST_ELEMENT_CAST(m_element); }
    GstBaseTransform* BaseTransform() const { return m_element; }
    GstDebugCategory* DebugCategory() const;
    // Pushes a buffer of the filter's own downstream on the src pad (takes ownership). Called
    // from inside a contract call that holds the receive lock, it queues the buffer and answers
    // GST_FLOW_OK; the buffer is pushed when the call has returned and the lock is released, and
    // a failed push becomes the flow of the buffer Transform was working on. Called anywhere
    // else, it pushes at once and answers the push's flow: then the caller must not hold the
    // receive lock.
    GstFlowReturn Deliver(GstBuffer* buffer);
    // Pushes an event downstream on the src pad (takes ownership); queued like Deliver's buffers
    // (and then answers true) when called from inside a contract call.
    bool DeliverEvent(GstEvent* event);
    // The receive lock (recursive), held around the contract calls as listed at the top. A
    // filter that takes it itself must not push while holding it.
    std::recursive_mutex& ReceiveLock() { return m_receiveLock; }
    // Current caps of the pads (null before negotiation).
    GstCapsRef InputCaps() const;
    GstCapsRef OutputCaps() const;
    // Counters of the current streaming run.
    guint64 SamplesProcessed() const { return m_processed; }
    guint64 SamplesDropped() const { return m_dropped; }

    bool IsInPlace() const { return m_inPlace; }

protected:
    // Copying filters pass false; TBCTransInPlaceFilter passes true.
    TBCTransformFilter(const char* name, bool inPlace);

private:
    friend struct FilterGlue;
    friend class detail::HookScope;
    friend void detail::AttachElement(TBCTransformFilter*, GstBaseTransform*);

    // Called by the glue with the receive lock held after Transform answered.
    GstFlowReturn AfterTransform(HRESULT hr, GstBuffer* buffer);
    void PostQualityChange(GstBuffer* dropped);

    const char* m_name;
    bool m_inPlace;
    GstBaseTransform* m_element = nullptr;
    std::recursive_mutex m_receiveLock;
    // Streaming-run state, touched under m_receiveLock only.
    bool m_sampleSkipped = false;
    bool m_qualityChanged = false;
    guint64 m_processed = 0;
    guint64 m_dropped = 0;
    // Output buffer size decided by DecideBufferSize (0: like the input); read by transform_size.
    std::atomic<guint> m_outSize{0};
    // The thread inside a contract call that holds the receive lock, and that call's queue of
    // deliveries (m_hookScope is set and read by that thread only, under the lock).
    std::atomic<std::thread::id> m_hookThread{};
    detail::HookScope* m_hookScope = nullptr;
};

// The in-place transform filter (TBCTransInPlaceFilter). Transform(buffer) gets the
// upstream buffer itself when it is writable (no copy at all), otherwise a writable copy that
// shares the memory: mapping it GST_MAP_WRITE copies the data, GST_MAP_READ does not. So a
// filter that only reads the data (modifies-data off) never copies bytes, and may still change
// the buffer's times, flags and metas.
class TBCTransInPlaceFilter : public TBCTransformFilter {
public:
    TBCTransInPlaceFilter(const char* name, bool modifiesData);

    virtual HRESULT Transform(GstBuffer* buffer) = 0;
    using TBCTransformFilter::Transform;

    HRESULT CheckTransform(const GstCaps* in, const GstCaps* out) override;          // S_OK
    HRESULT DecideBufferSize(const GstCaps* out, TBufferProps& props) override;      // S_OK
    HRESULT GetMediaType(int position, const GstCaps* in, GstCapsRef& out) override; // E_UNEXPECTED

    bool ModifiesData() const { return m_modifiesData; }

private:
    bool m_modifiesData;
};

// Holds the element's object lock (GST_OBJECT_LOCK): settings written by the application
// thread and read once per buffer by Transform are guarded by it.
class TBCSettingsLock {
public:
    explicit TBCSettingsLock(const TBCTransformFilter& f) : m_obj(GST_OBJECT_CAST(f.Element())) {
        GST_OBJECT_LOCK(m_obj);
    }
    ~TBCSettingsLock() { GST_OBJECT_UNLOCK(m_obj); }
    TBCSettingsLock(const TBCSettingsLock&) = delete;
    TBCSettingsLock& operator=(const TBCSettingsLock&) = delete;

private:
    GstObject* m_obj;
};

// The GType of a concrete filter class (registered on first use; thread-safe).
template <class T> GType FilterType() {
    static const GType type = detail::RegisterFilterType(T::Descriptor());
    return type;
}

// Registers the filter's element factory (with `plugin` null: statically in this process).
template <class T> bool RegisterFilter(GstPlugin* plugin, guint rank = GST_RANK_NONE) {
    const GType type = FilterType<T>();
    return type != 0 &&
           gst_element_register(plugin, T::Descriptor().factoryName, rank, type) == TRUE;
}

// The C++ object of an own filter element, or null when `element` is not a T.
template <class T> T* FilterCast(GstElement* element) {
    if (element == nullptr || !G_TYPE_CHECK_INSTANCE_TYPE(element, detail::FilterBaseType())) {
        return nullptr;
    }
    return dynamic_cast<T*>(detail::FilterImpl(element));
}
template <class T> T* FilterCast(const GstElementRef& element) {
    return FilterCast<T>(element.get());
}

// Whether `element` is one of our own filters (any class).
inline TBCTransformFilter* FilterObject(GstElement* element) {
    return FilterCast<TBCTransformFilter>(element);
}

namespace detail {
template <class T> void ClassInitOf(GObjectClass* klass) {
    if constexpr (requires { T::ClassInit(klass); }) {
        T::ClassInit(klass);
    }
}
template <class T> TBCTransformFilter* ConstructOf(void* place) {
    return static_cast<TBCTransformFilter*>(::new (place) T());
}
} // namespace detail

} // namespace vidorel

// One-line registration of a concrete filter, in its .cpp file at namespace scope. The class
// declares `static const vidorel::FilterDescriptor& Descriptor();`, is default-constructible,
// and may declare `static void ClassInit(GObjectClass*)` to install GObject properties.
#define VIDOREL_DEFINE_FILTER(Class, factory, longName, klass, description, sinkCaps, srcCaps)     \
    const ::vidorel::FilterDescriptor& Class::Descriptor() {                                       \
        static const ::vidorel::FilterDescriptor d{factory,                                        \
                                                   longName,                                       \
                                                   klass,                                          \
                                                   description,                                    \
                                                   sinkCaps,                                       \
                                                   srcCaps,                                        \
                                                   sizeof(Class),                                  \
                                                   alignof(Class),                                 \
                                                   &::vidorel::detail::ConstructOf<Class>,         \
                                                   &::vidorel::detail::ClassInitOf<Class>};        \
        return d;                                                                                  \
    }
