#pragma once

// The icons of the commands: the desktop style's own where it has one, simple drawn glyphs
// for the rest, so the tool bars read the same on every desktop.

#include <QIcon>

class QStyle;

namespace vidorel {

struct TActions;

void SetActionIcons(TActions& actions, QStyle* style);
QIcon MuteIcon(bool muted, QStyle* style);
QIcon WideScreenIcon(bool wide, QStyle* style);
// A glyph (a few characters) drawn into an icon.
QIcon GlyphIcon(const QString& glyph, const QColor& colour = Qt::black);

} // namespace vidorel
