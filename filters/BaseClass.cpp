#include "filters/BaseClass.h"

#include <gst/video/video.h>

#include <array>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

GST_DEBUG_CATEGORY_STATIC(vidorel_filter_debug);
#define GST_CAT_DEFAULT vidorel_filter_debug

namespace vidorel {

namespace {

// The GObject side. The instance holds only a plain pointer to the C++ object, which lives in
// the instance's private area (placement-new'ed in instance_init, destroyed in finalize).
struct VidorelFilter {
    GstBaseTransform parent;
    TBCTransformFilter* impl;
};

struct VidorelFilterClass {
    GstBaseTransformClass parent;
    const FilterDescriptor* desc;
    GstDebugCategory* debug;
    gint privateOffset; // of the C++ object's storage, from g_type_add_instance_private
    bool anySink;       // the sink pad template is ANY
};

GstBaseTransformClass* parentClass = nullptr;

struct TypeData {
    const FilterDescriptor* desc;
    gint privateOffset;
};

VidorelFilterClass* ClassOf(gpointer instance) {
    return reinterpret_cast<VidorelFilterClass*>(G_OBJECT_GET_CLASS(instance));
}

TBCTransformFilter* Impl(GstBaseTransform* trans) {
    return reinterpret_cast<VidorelFilter*>(trans)->impl;
}

std::string CurrentExceptionText() {
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

// Posts the element error for an exception that reached a trampoline.
void ReportException(GstBaseTransform* trans, const char* where) {
    const std::string what = CurrentExceptionText();
    GST_ELEMENT_ERROR(trans, STREAM, FAILED,
                      ("Internal error in the filter %s.", GST_OBJECT_NAME(trans)),
                      ("%s threw: %s", where, what.c_str()));
}

void ReportMissingImpl(GstBaseTransform* trans) {
    GST_ELEMENT_ERROR(trans, CORE, FAILED,
                      ("The filter %s could not be created.", GST_OBJECT_NAME(trans)),
                      ("its C++ object is missing (the constructor failed)"));
}

} // namespace

namespace detail {

// A contract call under the receive lock. What the filter delivers meanwhile waits here and is
// pushed once the lock is released, so no push ever happens with the lock held. Scopes nest on
// one thread (the lock is recursive); the outermost one owns the queue.
class HookScope {
public:
    explicit HookScope(TBCTransformFilter* f) : m_filter(f), m_lock(f->m_receiveLock) {
        m_outermost = f->m_hookScope == nullptr;
        if (m_outermost) {
            f->m_hookScope = this;
            f->m_hookThread.store(std::this_thread::get_id());
        }
    }
    ~HookScope() { Leave(); }
    HookScope(const HookScope&) = delete;
    HookScope& operator=(const HookScope&) = delete;

    void Add(GstMiniObject* item) {
        if (m_count < m_items.size()) {
            m_items[m_count++] = item;
        } else {
            m_more.push_back(item);
        }
    }

    // Releases the lock, then pushes what was delivered, in order. Answers the first flow that
    // was not OK (GST_FLOW_OK when nothing was delivered).
    GstFlowReturn Leave() {
        if (!m_lock.owns_lock()) {
            return GST_FLOW_OK;
        }
        if (m_outermost) {
            m_filter->m_hookScope = nullptr;
            m_filter->m_hookThread.store(std::thread::id());
        }
        m_lock.unlock();
        GstFlowReturn result = GST_FLOW_OK;
        GstPad* src = m_filter->m_element->srcpad;
        const auto push = [&](GstMiniObject* item) {
            if (GST_IS_BUFFER(item)) {
                const GstFlowReturn flow = gst_pad_push(src, GST_BUFFER_CAST(item));
                if (result == GST_FLOW_OK) {
                    result = flow;
                }
            } else {
                gst_pad_push_event(src, GST_EVENT_CAST(item));
            }
        };
        for (std::size_t i = 0; i < m_count; ++i) {
            push(m_items[i]);
        }
        for (GstMiniObject* item : m_more) {
            push(item);
        }
        m_count = 0;
        m_more.clear();
        return result;
    }

private:
    TBCTransformFilter* m_filter;
    std::unique_lock<std::recursive_mutex> m_lock;
    bool m_outermost = false;
    // Room for the few items a hook delivers without allocating; more spill into m_more.
    std::array<GstMiniObject*, 8> m_items{};
    std::size_t m_count = 0;
    std::vector<GstMiniObject*> m_more;
};

} // namespace detail

using detail::HookScope;

// Trampolines: each catches every exception (none may cross the C frames of GStreamer).
struct FilterGlue {
    static gboolean Start(GstBaseTransform* trans) {
        TBCTransformFilter* f = Impl(trans);
        if (f == nullptr) {
            ReportMissingImpl(trans);
            return FALSE;
        }
        try {
            HookScope scope(f);
            f->m_sampleSkipped = false;
            f->m_qualityChanged = false;
            f->m_processed = 0;
            f->m_dropped = 0;
            const HRESULT hr = f->StartStreaming();
            if (Failed(hr)) {
                GST_ELEMENT_ERROR(trans, CORE, STATE_CHANGE,
                                  ("The filter %s could not start.", f->Name()),
                                  ("StartStreaming answered 0x%08x", static_cast<unsigned>(hr)));
                return FALSE;
            }
            return TRUE;
        } catch (...) {
            ReportException(trans, "StartStreaming");
            return FALSE;
        }
    }

    static gboolean Stop(GstBaseTransform* trans) {
        TBCTransformFilter* f = Impl(trans);
        if (f == nullptr) {
            return TRUE;
        }
        try {
            HookScope scope(f);
            const HRESULT hr = f->Stop();
            if (Failed(hr)) {
                // A stop always completes in GStreamer; the failure is reported, not fatal.
                GST_ELEMENT_WARNING(trans, CORE, STATE_CHANGE,
                                    ("The filter %s reported a problem while stopping.", f->Name()),
                                    ("Stop answered 0x%08x", static_cast<unsigned>(hr)));
            }
        } catch (...) {
            ReportException(trans, "Stop");
        }
        return TRUE;
    }

    static GstCaps* TransformCaps(GstBaseTransform* trans, GstPadDirection direction, GstCaps* caps,
                                  GstCaps* filter) {
        TBCTransformFilter* f = Impl(trans);
        if (f == nullptr || f->m_inPlace) {
            return parentClass->transform_caps(trans, direction, caps, filter);
        }
        // Without the receive lock: caps queries arrive on any thread, also while the streaming
        // thread holds the lock (GetMediaType is documented as safe without it).
        try {
            GstCaps* result = nullptr;
            if (direction == GST_PAD_SINK) {
                // What the src pad may produce from these input caps: GetMediaType per input
                // structure, position 0, 1, ... until VFW_S_NO_MORE_ITEMS.
                result = gst_caps_new_empty();
                if (gst_caps_is_any(caps)) {
                    gst_caps_unref(result);
                    result = gst_pad_get_pad_template_caps(trans->srcpad);
                } else {
                    const guint n = gst_caps_get_size(caps);
                    for (guint i = 0; i < n; ++i) {
                        auto one = GstCapsRef::adopt(gst_caps_copy_nth(caps, i));
                        for (int pos = 0; pos < 64; ++pos) {
                            GstCapsRef out;
                            const HRESULT hr = f->GetMediaType(pos, one.get(), out);
                            if (hr != S_OK) {
                                break;
                            }
                            if (out) {
                                result = gst_caps_merge(result, out.release());
                            }
                        }
                    }
                }
            } else {
                // What the sink pad may take for these output caps: the sink template (the
                // copying filter's input side is judged by CheckInputType and CheckTransform
                // when the caps are set).
                result = gst_pad_get_pad_template_caps(trans->sinkpad);
            }
            if (filter != nullptr) {
                GstCaps* both = gst_caps_intersect_full(filter, result, GST_CAPS_INTERSECT_FIRST);
                gst_caps_unref(result);
                result = both;
            }
            return result;
        } catch (...) {
            ReportException(trans, "GetMediaType");
            return gst_caps_new_empty();
        }
    }

    static gboolean AcceptCaps(GstBaseTransform* trans, GstPadDirection direction, GstCaps* caps) {
        TBCTransformFilter* f = Impl(trans);
        if (f == nullptr) {
            return FALSE;
        }
        if (direction == GST_PAD_SINK && gst_caps_is_fixed(caps)) {
            // Without the receive lock, as caps queries (CheckInputType is documented as safe
            // without it).
            try {
                if (f->CheckInputType(caps) != S_OK) {
                    GST_DEBUG_OBJECT(trans, "CheckInputType refuses %" GST_PTR_FORMAT, caps);
                    return FALSE;
                }
            } catch (...) {
                ReportException(trans, "CheckInputType");
                return FALSE;
            }
        }
        return parentClass->accept_caps(trans, direction, caps);
    }

    static gboolean SetCaps(GstBaseTransform* trans, GstCaps* incaps, GstCaps* outcaps) {
        TBCTransformFilter* f = Impl(trans);
        if (f == nullptr) {
            ReportMissingImpl(trans);
            return FALSE;
        }
        try {
            HookScope scope(f);
            if (f->CheckInputType(incaps) != S_OK) {
                GST_WARNING_OBJECT(trans, "CheckInputType refuses %" GST_PTR_FORMAT, incaps);
                return FALSE;
            }
            if (f->CheckTransform(incaps, outcaps) != S_OK) {
                GST_WARNING_OBJECT(trans,
                                   "CheckTransform refuses %" GST_PTR_FORMAT " -> %" GST_PTR_FORMAT,
                                   incaps, outcaps);
                return FALSE;
            }
            if (Failed(f->SetMediaType(PinDirection::Input, incaps)) ||
                Failed(f->SetMediaType(PinDirection::Output, outcaps))) {
                return FALSE;
            }
            auto sinkPeer = GstPadRef::adopt(gst_pad_get_peer(trans->sinkpad));
            auto srcPeer = GstPadRef::adopt(gst_pad_get_peer(trans->srcpad));
            if (Failed(f->CompleteConnect(PinDirection::Input, sinkPeer.get())) ||
                Failed(f->CompleteConnect(PinDirection::Output, srcPeer.get()))) {
                return FALSE;
            }
            return TRUE;
        } catch (...) {
            ReportException(trans, "SetMediaType");
            return FALSE;
        }
    }

    static gboolean DecideAllocation(GstBaseTransform* trans, GstQuery* query) {
        TBCTransformFilter* f = Impl(trans);
        if (f == nullptr) {
            return FALSE;
        }
        try {
            HookScope scope(f);
            GstCaps* outcaps = nullptr;
            gst_query_parse_allocation(query, &outcaps, nullptr);
            TBufferProps props;
            GstBufferPool* pool = nullptr;
            guint size = 0, min = 0, max = 0;
            const bool hasPool = gst_query_get_n_allocation_pools(query) > 0;
            if (hasPool) {
                gst_query_parse_nth_allocation_pool(query, 0, &pool, &size, &min, &max);
            }
            auto poolRef = GstRef<GstObject>::adopt(pool ? GST_OBJECT_CAST(pool) : nullptr);
            GstVideoInfo vinfo;
            if (size == 0 && outcaps != nullptr && gst_video_info_from_caps(&vinfo, outcaps)) {
                size = static_cast<guint>(GST_VIDEO_INFO_SIZE(&vinfo));
            }
            props.buffers = min > 0 ? min : 1;
            props.size = size;
            if (gst_query_get_n_allocation_params(query) > 0) {
                GstAllocationParams params;
                gst_query_parse_nth_allocation_param(query, 0, nullptr, &params);
                props.align = static_cast<guint>(params.align) + 1;
            }
            const HRESULT hr = f->DecideBufferSize(outcaps, props);
            if (Failed(hr)) {
                GST_WARNING_OBJECT(trans, "DecideBufferSize answered 0x%08x",
                                   static_cast<unsigned>(hr));
                return FALSE;
            }
            f->m_outSize = props.size;
            if (props.size > 0) {
                const guint count = props.buffers > min ? props.buffers : min;
                if (max != 0 && max < count) {
                    max = count;
                }
                if (hasPool) {
                    gst_query_set_nth_allocation_pool(query, 0, pool, props.size, count, max);
                } else {
                    gst_query_add_allocation_pool(query, nullptr, props.size, count, max);
                }
            } else {
                // Output buffers as large as each input buffer: no pool.
                while (gst_query_get_n_allocation_pools(query) > 0) {
                    gst_query_remove_nth_allocation_pool(query, 0);
                }
            }
            if (props.align > 1 && gst_query_get_n_allocation_params(query) == 0) {
                GstAllocationParams params;
                gst_allocation_params_init(&params);
                params.align = props.align - 1;
                gst_query_add_allocation_param(query, nullptr, &params);
            }
        } catch (...) {
            ReportException(trans, "DecideBufferSize");
            return FALSE;
        }
        return parentClass->decide_allocation(trans, query);
    }

    static gboolean TransformSize(GstBaseTransform* trans, GstPadDirection direction, GstCaps* caps,
                                  gsize size, GstCaps* othercaps, gsize* othersize) {
        TBCTransformFilter* f = Impl(trans);
        const guint outSize = f != nullptr ? f->m_outSize.load() : 0;
        if (f != nullptr && !f->m_inPlace && direction == GST_PAD_SINK && outSize > 0) {
            *othersize = outSize;
            return TRUE;
        }
        (void)caps;
        (void)othercaps;
        *othersize = size;
        return TRUE;
    }

    static GstFlowReturn TransformCopy(GstBaseTransform* trans, GstBuffer* in, GstBuffer* out) {
        TBCTransformFilter* f = Impl(trans);
        if (f == nullptr) {
            ReportMissingImpl(trans);
            return GST_FLOW_ERROR;
        }
        try {
            HookScope scope(f);
            if (f->m_sampleSkipped) {
                GST_BUFFER_FLAG_SET(out, GST_BUFFER_FLAG_DISCONT);
            }
            const HRESULT hr = f->Transform(in, out);
            const GstFlowReturn transformed = f->AfterTransform(hr, in);
            return WithDeliveries(transformed, scope.Leave());
        } catch (...) {
            ReportException(trans, "Transform");
            return GST_FLOW_ERROR;
        }
    }

    // The flow of a transformed buffer once the filter's own deliveries have been pushed: a
    // failed delivery (flushing, end of stream, not linked, error) is what upstream hears, unless
    // the transform failed itself.
    static GstFlowReturn WithDeliveries(GstFlowReturn transformed, GstFlowReturn delivered) {
        if (delivered != GST_FLOW_OK &&
            (transformed == GST_FLOW_OK || transformed == GST_BASE_TRANSFORM_FLOW_DROPPED)) {
            return delivered;
        }
        return transformed;
    }

    static GstFlowReturn TransformIp(GstBaseTransform* trans, GstBuffer* buffer) {
        TBCTransformFilter* f = Impl(trans);
        if (f == nullptr) {
            ReportMissingImpl(trans);
            return GST_FLOW_ERROR;
        }
        try {
            HookScope scope(f);
            if (f->m_sampleSkipped && gst_buffer_is_writable(buffer)) {
                GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
            }
            const HRESULT hr = static_cast<TBCTransInPlaceFilter*>(f)->Transform(buffer);
            const GstFlowReturn transformed = f->AfterTransform(hr, buffer);
            return WithDeliveries(transformed, scope.Leave());
        } catch (...) {
            ReportException(trans, "Transform");
            return GST_FLOW_ERROR;
        }
    }

    // GstBaseTransform refuses every buffer that comes before caps were set when the class has
    // a set_caps (ours always has), so an element whose template says ANY would still refuse a
    // stream without caps (a file read by filesrc) that identity passes. An in-place filter whose
    // sink template is ANY takes such a stream: while its sink pad has no caps, each buffer is
    // queued as it comes and goes to Transform, writable. Caps that were refused never become
    // current, but then the pad itself stops the data (it sends the refused caps again before
    // each buffer), so what a filter refuses stays refused.
    static bool TakesBuffersWithoutCaps(GstBaseTransform* trans) {
        const TBCTransformFilter* f = Impl(trans);
        return f != nullptr && f->m_inPlace && ClassOf(trans)->anySink &&
               !gst_pad_has_current_caps(trans->sinkpad);
    }

    static GstFlowReturn SubmitInputBuffer(GstBaseTransform* trans, gboolean isDiscont,
                                           GstBuffer* input) {
        if (!TakesBuffersWithoutCaps(trans) || trans->queued_buf != nullptr) {
            return parentClass->submit_input_buffer(trans, isDiscont, input);
        }
        trans->queued_buf = input;
        return GST_FLOW_OK;
    }

    static GstFlowReturn GenerateOutput(GstBaseTransform* trans, GstBuffer** outbuf) {
        if (!TakesBuffersWithoutCaps(trans) || trans->queued_buf == nullptr) {
            return parentClass->generate_output(trans, outbuf);
        }
        *outbuf = gst_buffer_make_writable(std::exchange(trans->queued_buf, nullptr));
        return TransformIp(trans, *outbuf);
    }

    static gboolean SinkEvent(GstBaseTransform* trans, GstEvent* event) {
        TBCTransformFilter* f = Impl(trans);
        if (f != nullptr) {
            const char* what = GST_EVENT_TYPE_NAME(event);
            try {
                HRESULT hr = S_OK;
                if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_START) {
                    // Without the receive lock: the streaming thread may hold it while stuck in
                    // a push that only this flush, forwarded downstream, can end.
                    hr = f->BeginFlush();
                } else {
                    hr = HookedEvent(f, event);
                }
                if (Failed(hr)) {
                    GST_ELEMENT_ERROR(trans, STREAM, FAILED,
                                      ("The filter %s failed to handle the stream.", f->Name()),
                                      ("%s hook answered 0x%08x", what, static_cast<unsigned>(hr)));
                }
            } catch (...) {
                ReportException(trans, what);
            }
        }
        return parentClass->sink_event(trans, event);
    }

    // The hooks of the serialised events, under the receive lock; what they deliver is pushed
    // before `event` goes on. A changed segment replaces `event`.
    static HRESULT HookedEvent(TBCTransformFilter* f, GstEvent*& event) {
        HookScope scope(f);
        HRESULT hr = S_OK;
        switch (GST_EVENT_TYPE(event)) {
        case GST_EVENT_EOS:
            hr = f->EndOfStream();
            break;
        case GST_EVENT_FLUSH_STOP:
            hr = f->EndFlush();
            break;
        case GST_EVENT_SEGMENT: {
            GstSegment segment;
            gst_event_copy_segment(event, &segment);
            const GstSegment before = segment;
            hr = f->NewSegment(segment);
            if (!gst_segment_is_equal(&before, &segment)) {
                GstEvent* changed = gst_event_new_segment(&segment);
                gst_event_set_seqnum(changed, gst_event_get_seqnum(event));
                gst_event_unref(event);
                event = changed;
            }
            break;
        }
        default:
            break;
        }
        scope.Leave();
        return hr;
    }

    static void InstanceInit(GTypeInstance* instance, gpointer gclass) {
        auto* self = reinterpret_cast<VidorelFilter*>(instance);
        auto* klass = static_cast<VidorelFilterClass*>(gclass);
        self->impl = nullptr;
        if (klass->desc == nullptr) {
            return; // the abstract base type itself
        }
        const FilterDescriptor& d = *klass->desc;
        void* raw = G_STRUCT_MEMBER_P(instance, klass->privateOffset);
        std::size_t space = d.size + d.align;
        void* place = std::align(d.align, d.size, raw, space);
        try {
            TBCTransformFilter* f = d.construct(place);
            detail::AttachElement(f, GST_BASE_TRANSFORM_CAST(instance));
            self->impl = f;
        } catch (...) {
            const std::string what = CurrentExceptionText();
            GST_ERROR("constructor of %s threw: %s", d.factoryName, what.c_str());
            self->impl = nullptr;
        }
    }

    static void Finalize(GObject* object) {
        auto* self = reinterpret_cast<VidorelFilter*>(object);
        if (self->impl != nullptr) {
            try {
                self->impl->~TBCTransformFilter();
            } catch (...) {
                GST_ERROR_OBJECT(object, "destructor threw");
            }
            self->impl = nullptr;
        }
        G_OBJECT_CLASS(parentClass)->finalize(object);
    }

    static void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
        auto* self = reinterpret_cast<VidorelFilter*>(object);
        if (self->impl == nullptr) {
            return;
        }
        try {
            self->impl->SetProperty(id, value, pspec);
        } catch (...) {
            ReportException(GST_BASE_TRANSFORM_CAST(object), "SetProperty");
        }
    }

    static void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
        auto* self = reinterpret_cast<VidorelFilter*>(object);
        if (self->impl == nullptr) {
            return;
        }
        try {
            self->impl->GetProperty(id, value, pspec);
        } catch (...) {
            ReportException(GST_BASE_TRANSFORM_CAST(object), "GetProperty");
        }
    }

    static void BaseClassInit(gpointer gclass, gpointer) {
        parentClass = static_cast<GstBaseTransformClass*>(g_type_class_peek_parent(gclass));
        auto* gobject = G_OBJECT_CLASS(gclass);
        gobject->finalize = Finalize;
        gobject->set_property = SetProperty;
        gobject->get_property = GetProperty;
        auto* bt = GST_BASE_TRANSFORM_CLASS(gclass);
        bt->start = Start;
        bt->stop = Stop;
        bt->transform_caps = TransformCaps;
        bt->accept_caps = AcceptCaps;
        bt->set_caps = SetCaps;
        bt->decide_allocation = DecideAllocation;
        bt->transform_size = TransformSize;
        bt->transform = TransformCopy;
        bt->transform_ip = TransformIp;
        bt->submit_input_buffer = SubmitInputBuffer;
        bt->generate_output = GenerateOutput;
        bt->sink_event = SinkEvent;
        bt->passthrough_on_same_caps = FALSE;
        bt->transform_ip_on_passthrough = TRUE;
    }

    static void ConcreteClassInit(gpointer gclass, gpointer classData) {
        auto* klass = static_cast<VidorelFilterClass*>(gclass);
        auto* data = static_cast<TypeData*>(classData);
        const FilterDescriptor* d = data->desc;
        klass->desc = d;
        auto* element = GST_ELEMENT_CLASS(gclass);
        gst_element_class_set_static_metadata(element, d->longName, d->klass, d->description,
                                              "Vidorel <vidorel@marlott.invalid>");
        auto sink = GstCapsRef::adopt(gst_caps_from_string(d->sinkCaps));
        auto src = GstCapsRef::adopt(gst_caps_from_string(d->srcCaps));
        klass->anySink = sink && gst_caps_is_any(sink.get());
        gst_element_class_add_pad_template(
            element, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, sink.get()));
        gst_element_class_add_pad_template(
            element, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, src.get()));
        GST_DEBUG_CATEGORY_INIT(klass->debug, d->factoryName, 0, d->longName);
        g_type_class_adjust_private_offset(gclass, &data->privateOffset);
        klass->privateOffset = data->privateOffset;
        // GObject does not inherit these two: every class that installs properties needs its
        // own, or installing them fails.
        auto* gobject = G_OBJECT_CLASS(gclass);
        gobject->set_property = SetProperty;
        gobject->get_property = GetProperty;
        if (d->classInit != nullptr) {
            d->classInit(G_OBJECT_CLASS(gclass));
        }
    }
};

namespace detail {

GType FilterBaseType() {
    static const GType type = [] {
        GST_DEBUG_CATEGORY_INIT(vidorel_filter_debug, "vidorelfilter", 0,
                                "Vidorel filter framework");
        const GTypeInfo info = {sizeof(VidorelFilterClass),
                                nullptr,
                                nullptr,
                                FilterGlue::BaseClassInit,
                                nullptr,
                                nullptr,
                                sizeof(VidorelFilter),
                                0,
                                FilterGlue::InstanceInit,
                                nullptr};
        GType existing = g_type_from_name("VidorelFilter");
        if (existing != 0) {
            return existing;
        }
        return g_type_register_static(GST_TYPE_BASE_TRANSFORM, "VidorelFilter", &info,
                                      G_TYPE_FLAG_ABSTRACT);
    }();
    return type;
}

GType RegisterFilterType(const FilterDescriptor& d) {
    const std::string typeName = std::string("VidorelFilter_") + d.factoryName;
    // The same filter may be registered twice in one process (statically and through the
    // loadable plug-in built from the same sources): the first type wins.
    if (GType existing = g_type_from_name(typeName.c_str()); existing != 0) {
        return existing;
    }
    // Lives as long as the type, i.e. for the whole process.
    auto* data = new TypeData{&d, 0};
    const GTypeInfo info = {sizeof(VidorelFilterClass),
                            nullptr,
                            nullptr,
                            FilterGlue::ConcreteClassInit,
                            nullptr,
                            data,
                            sizeof(VidorelFilter),
                            0,
                            nullptr, // the base type's instance_init constructs the C++ object
                            nullptr};
    const GType type =
        g_type_register_static(FilterBaseType(), typeName.c_str(), &info, GTypeFlags(0));
    if (type != 0) {
        // Room for the C++ object plus what aligning it may cost; class_init turns the offset
        // into the final one (g_type_class_adjust_private_offset) and keeps it in the class.
        data->privateOffset = g_type_add_instance_private(type, d.size + d.align);
    }
    return type;
}

TBCTransformFilter* FilterImpl(gpointer instance) {
    return reinterpret_cast<VidorelFilter*>(instance)->impl;
}

void AttachElement(TBCTransformFilter* impl, GstBaseTransform* element) {
    impl->m_element = element;
    if (impl->m_inPlace) {
        gst_base_transform_set_in_place(element, TRUE);
        gst_base_transform_set_passthrough(element, FALSE);
    } else {
        gst_base_transform_set_in_place(element, FALSE);
    }
}

} // namespace detail

// --- TBCTransformFilter ---

TBCTransformFilter::TBCTransformFilter(const char* name) : TBCTransformFilter(name, false) {}

TBCTransformFilter::TBCTransformFilter(const char* name, bool inPlace)
    : m_name(name), m_inPlace(inPlace) {}

TBCTransformFilter::~TBCTransformFilter() = default;

HRESULT TBCTransformFilter::Transform(GstBuffer*, GstBuffer*) {
    return E_UNEXPECTED;
}
HRESULT TBCTransformFilter::StartStreaming() {
    return S_OK;
}
HRESULT TBCTransformFilter::StopStreaming() {
    return S_OK;
}
HRESULT TBCTransformFilter::SetMediaType(PinDirection, const GstCaps*) {
    return S_OK;
}
HRESULT TBCTransformFilter::CompleteConnect(PinDirection, GstPad*) {
    return S_OK;
}
HRESULT TBCTransformFilter::EndOfStream() {
    return S_OK;
}
HRESULT TBCTransformFilter::BeginFlush() {
    return S_OK;
}
HRESULT TBCTransformFilter::EndFlush() {
    return S_OK;
}
HRESULT TBCTransformFilter::NewSegment(GstSegment&) {
    return S_OK;
}

HRESULT TBCTransformFilter::Stop() {
    std::lock_guard lock(m_receiveLock);
    return StopStreaming();
}

void TBCTransformFilter::SetProperty(guint id, const GValue*, GParamSpec* pspec) {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(m_element, id, pspec);
}

void TBCTransformFilter::GetProperty(guint id, GValue*, GParamSpec* pspec) {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(m_element, id, pspec);
}

GstDebugCategory* TBCTransformFilter::DebugCategory() const {
    return m_element ? ClassOf(m_element)->debug : vidorel_filter_debug;
}

// Only the thread inside a contract call sees its own id in m_hookThread, and only that thread
// touches m_hookScope, so the test needs no lock.
GstFlowReturn TBCTransformFilter::Deliver(GstBuffer* buffer) {
    if (m_hookThread.load() == std::this_thread::get_id() && m_hookScope != nullptr) {
        m_hookScope->Add(GST_MINI_OBJECT_CAST(buffer));
        return GST_FLOW_OK;
    }
    return gst_pad_push(m_element->srcpad, buffer);
}

bool TBCTransformFilter::DeliverEvent(GstEvent* event) {
    if (m_hookThread.load() == std::this_thread::get_id() && m_hookScope != nullptr) {
        m_hookScope->Add(GST_MINI_OBJECT_CAST(event));
        return true;
    }
    return gst_pad_push_event(m_element->srcpad, event) == TRUE;
}

GstCapsRef TBCTransformFilter::InputCaps() const {
    return GstCapsRef::adopt(gst_pad_get_current_caps(m_element->sinkpad));
}

GstCapsRef TBCTransformFilter::OutputCaps() const {
    return GstCapsRef::adopt(gst_pad_get_current_caps(m_element->srcpad));
}

GstFlowReturn TBCTransformFilter::AfterTransform(HRESULT hr, GstBuffer* buffer) {
    ++m_processed;
    if (hr == S_FALSE) {
        ++m_dropped;
        m_sampleSkipped = true;
        if (!m_qualityChanged) {
            m_qualityChanged = true;
            PostQualityChange(buffer);
        }
        return GST_BASE_TRANSFORM_FLOW_DROPPED;
    }
    if (Succeeded(hr)) {
        m_sampleSkipped = false;
        return GST_FLOW_OK;
    }
    const bool typeTrouble = hr == VFW_E_TYPE_NOT_ACCEPTED || hr == VFW_E_INVALIDMEDIATYPE;
    GST_ELEMENT_ERROR(m_element, STREAM, FAILED,
                      ("The filter %s failed to process a sample.", m_name),
                      ("Transform answered 0x%08x", static_cast<unsigned>(hr)));
    return typeTrouble ? GST_FLOW_NOT_NEGOTIATED : GST_FLOW_ERROR;
}

void TBCTransformFilter::PostQualityChange(GstBuffer* dropped) {
    const GstClockTime ts = GST_BUFFER_PTS(dropped);
    const GstClockTime duration = GST_BUFFER_DURATION(dropped);
    GstClockTime running = GST_CLOCK_TIME_NONE;
    GstClockTime stream = GST_CLOCK_TIME_NONE;
    if (GST_CLOCK_TIME_IS_VALID(ts) && m_element->segment.format == GST_FORMAT_TIME) {
        running = gst_segment_to_running_time(&m_element->segment, GST_FORMAT_TIME, ts);
        stream = gst_segment_to_stream_time(&m_element->segment, GST_FORMAT_TIME, ts);
    }
    GstMessage* msg =
        gst_message_new_qos(GST_OBJECT_CAST(m_element), FALSE, running, stream, ts, duration);
    gst_message_set_qos_stats(msg, GST_FORMAT_BUFFERS, m_processed - m_dropped, m_dropped);
    gst_element_post_message(GST_ELEMENT_CAST(m_element), msg);
}

// --- TBCTransInPlaceFilter ---

TBCTransInPlaceFilter::TBCTransInPlaceFilter(const char* name, bool modifiesData)
    : TBCTransformFilter(name, true), m_modifiesData(modifiesData) {}

HRESULT TBCTransInPlaceFilter::CheckTransform(const GstCaps*, const GstCaps*) {
    return S_OK;
}
HRESULT TBCTransInPlaceFilter::DecideBufferSize(const GstCaps*, TBufferProps&) {
    return S_OK;
}
HRESULT TBCTransInPlaceFilter::GetMediaType(int, const GstCaps*, GstCapsRef&) {
    return E_UNEXPECTED;
}

} // namespace vidorel
