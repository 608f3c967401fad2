#include "app/PropertyFrame.h"

#include "graph/PropertyPages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include <climits>
#include <cstring>

namespace vidorel {

TPropertyFrame::TPropertyFrame(GstElement* element, const QString& title, QWidget* parent)
    : QDialog(parent), element_(GST_ELEMENT(gst_object_ref(element))) {
    setObjectName(QStringLiteral("PropertyFrame"));
    setWindowTitle(title);
    auto* form = new QWidget;
    auto* rows = new QFormLayout(form);
    for (GParamSpec* p : EditableProperties(element)) {
        GValue v = G_VALUE_INIT;
        g_value_init(&v, p->value_type);
        g_object_get_property(G_OBJECT(element), p->name, &v);
        QWidget* editor = nullptr;
        const GType t = p->value_type;
        if (t == G_TYPE_BOOLEAN) {
            auto* box = new QCheckBox;
            box->setChecked(g_value_get_boolean(&v));
            editor = box;
        } else if (G_TYPE_IS_ENUM(t)) {
            auto* box = new QComboBox;
            auto* klass = static_cast<GEnumClass*>(g_type_class_ref(t));
            for (guint k = 0; k < klass->n_values; ++k) {
                box->addItem(QString::fromUtf8(klass->values[k].value_nick),
                             klass->values[k].value);
            }
            box->setCurrentIndex(box->findData(g_value_get_enum(&v)));
            g_type_class_unref(klass);
            editor = box;
        } else if (t == G_TYPE_STRING) {
            auto* edit = new QLineEdit(QString::fromUtf8(g_value_get_string(&v)));
            editor = edit;
        } else if (t == G_TYPE_FLOAT || t == G_TYPE_DOUBLE) {
            auto* spin = new QDoubleSpinBox;
            spin->setDecimals(3);
            if (t == G_TYPE_DOUBLE) {
                auto* d = G_PARAM_SPEC_DOUBLE(p);
                spin->setRange(d->minimum, d->maximum);
                spin->setValue(g_value_get_double(&v));
            } else {
                auto* f = G_PARAM_SPEC_FLOAT(p);
                spin->setRange(f->minimum, f->maximum);
                spin->setValue(g_value_get_float(&v));
            }
            editor = spin;
        } else {
            // Whole numbers; a spin box holds an int, so wider ranges are clamped to it.
            auto* spin = new QSpinBox;
            qint64 lo = 0, hi = 0, now = 0;
            if (t == G_TYPE_INT) {
                lo = G_PARAM_SPEC_INT(p)->minimum;
                hi = G_PARAM_SPEC_INT(p)->maximum;
                now = g_value_get_int(&v);
            } else if (t == G_TYPE_UINT) {
                lo = G_PARAM_SPEC_UINT(p)->minimum;
                hi = G_PARAM_SPEC_UINT(p)->maximum;
                now = g_value_get_uint(&v);
            } else if (t == G_TYPE_INT64) {
                lo = G_PARAM_SPEC_INT64(p)->minimum;
                hi = G_PARAM_SPEC_INT64(p)->maximum;
                now = g_value_get_int64(&v);
            } else {
                lo = 0;
                hi = static_cast<qint64>(
                    std::min<guint64>(G_PARAM_SPEC_UINT64(p)->maximum, LLONG_MAX));
                now = static_cast<qint64>(std::min<guint64>(g_value_get_uint64(&v), LLONG_MAX));
            }
            spin->setRange(static_cast<int>(std::max<qint64>(lo, INT_MIN)),
                           static_cast<int>(std::min<qint64>(hi, INT_MAX)));
            spin->setValue(static_cast<int>(std::clamp<qint64>(now, INT_MIN, INT_MAX)));
            editor = spin;
        }
        g_value_unset(&v);
        editor->setObjectName(QString::fromUtf8(p->name));
        editor->setToolTip(QString::fromUtf8(g_param_spec_get_blurb(p)));
        rows->addRow(QString::fromUtf8(g_param_spec_get_nick(p)), editor);
        rows_.push_back({p, editor});
    }
    auto* scroll = new QScrollArea;
    scroll->setWidget(form);
    scroll->setWidgetResizable(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll);
    layout->addWidget(buttons);
    resize(420, 480);
}

TPropertyFrame::~TPropertyFrame() {
    gst_object_unref(element_);
}

QWidget* TPropertyFrame::Editor(const char* property) const {
    for (const Row& r : rows_) {
        if (std::strcmp(r.param->name, property) == 0) {
            return r.editor;
        }
    }
    return nullptr;
}

bool TPropertyFrame::Apply() {
    bool changed = false;
    for (const Row& r : rows_) {
        GParamSpec* p = r.param;
        GValue now = G_VALUE_INIT;
        g_value_init(&now, p->value_type);
        g_object_get_property(G_OBJECT(element_), p->name, &now);
        GValue want = G_VALUE_INIT;
        g_value_init(&want, p->value_type);
        const GType t = p->value_type;
        if (t == G_TYPE_BOOLEAN) {
            g_value_set_boolean(&want, static_cast<QCheckBox*>(r.editor)->isChecked());
        } else if (G_TYPE_IS_ENUM(t)) {
            g_value_set_enum(&want, static_cast<QComboBox*>(r.editor)->currentData().toInt());
        } else if (t == G_TYPE_STRING) {
            const QByteArray text = static_cast<QLineEdit*>(r.editor)->text().toUtf8();
            // An empty box over no text at all is no change.
            if (text.isEmpty() && g_value_get_string(&now) == nullptr) {
                g_value_set_string(&want, nullptr);
            } else {
                g_value_set_string(&want, text.constData());
            }
        } else if (t == G_TYPE_DOUBLE) {
            g_value_set_double(&want, static_cast<QDoubleSpinBox*>(r.editor)->value());
        } else if (t == G_TYPE_FLOAT) {
            g_value_set_float(&want,
                              static_cast<float>(static_cast<QDoubleSpinBox*>(r.editor)->value()));
        } else {
            const int v = static_cast<QSpinBox*>(r.editor)->value();
            if (t == G_TYPE_INT) {
                g_value_set_int(&want, v);
            } else if (t == G_TYPE_UINT) {
                g_value_set_uint(&want, static_cast<guint>(v));
            } else if (t == G_TYPE_INT64) {
                g_value_set_int64(&want, v);
            } else {
                g_value_set_uint64(&want, static_cast<guint64>(v));
            }
        }
        // Only what the user changed: a value read back and written again may not be
        // accepted by every element while it runs.
        if (g_param_values_cmp(p, &now, &want) != 0) {
            g_object_set_property(G_OBJECT(element_), p->name, &want);
            changed = true;
        }
        g_value_unset(&now);
        g_value_unset(&want);
    }
    return changed;
}

} // namespace vidorel
