#pragma once

// The property page of a source: every setting of the device's element that can be changed
// while it runs (brightness, pattern, norm, ...), each with the editor its type calls for,
// applied when the page is closed with OK.

#include "graph/PropertyPages.h"

#include <gst/gst.h>

#include <QDialog>

#include <functional>
#include <vector>

namespace vidorel {

class TPropertyFrame : public QDialog {
public:
    TPropertyFrame(GstElement* element, const QString& title, QWidget* parent = nullptr);
    ~TPropertyFrame() override;

    // Writes every value the user changed into the element; true when there was one.
    bool Apply();
    // The editor of a property (tests set values through it), or null.
    QWidget* Editor(const char* property) const;

private:
    struct Row {
        GParamSpec* param;
        QWidget* editor;
    };
    GstElement* element_;
    std::vector<Row> rows_;
};

} // namespace vidorel
