#include "sources/nav_capture.h"

#include <QAction>
#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>

namespace vidorel {

using namespace devices;

int FastForwardMode(int currentMode) {
    return currentMode == ED_MODE_STOP ? ED_MODE_FF : ED_MODE_PLAY_FASTEST_FWD;
}

int FastRewindMode(int currentMode) {
    return currentMode == ED_MODE_STOP ? ED_MODE_REW : ED_MODE_PLAY_FASTEST_REV;
}

int PlayPauseMode(int currentMode) {
    return currentMode == ED_MODE_PLAY ? ED_MODE_FREEZE : ED_MODE_PLAY;
}

namespace {

QAction* MakeAction(QWidget* owner, const char* name, const char* text,
                    std::initializer_list<QKeySequence> keys) {
    auto* a = new QAction(QString::fromUtf8(text), owner);
    a->setObjectName(QString::fromUtf8(name));
    a->setShortcuts(QList<QKeySequence>(keys));
    // The keys act while the camcorder window has the focus; the main window has its own
    // (Ctrl+) commands for the current camcorder.
    a->setShortcutContext(Qt::WindowShortcut);
    owner->addAction(a);
    return a;
}

QToolButton* MakeButton(QWidget* owner, const char* name, QAction* action, const QIcon& icon) {
    auto* b = new QToolButton(owner);
    b->setObjectName(QString::fromUtf8(name));
    b->setDefaultAction(action);
    action->setIcon(icon);
    b->setAutoRaise(true);
    b->setIconSize(QSize(20, 20));
    return b;
}

} // namespace

Tnav_captureframe::Tnav_captureframe(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("nav_captureframe1"));
    QStyle* s = style();
    PlayAction =
        MakeAction(this, "PlayAction", "Play",
                   {QKeySequence(Qt::Key_Insert), QKeySequence(Qt::SHIFT | Qt::Key_Space)});
    PauseAction = MakeAction(this, "PauseAction", "Pause", {QKeySequence(Qt::Key_Delete)});
    StopAction = MakeAction(this, "StopAction", "Stop", {QKeySequence(Qt::Key_End)});
    AvanceLentAction =
        MakeAction(this, "AvanceLentAction", "Slow forward", {QKeySequence(Qt::Key_Right)});
    AvanceRapideAction =
        MakeAction(this, "AvanceRapideAction", "Fast forward", {QKeySequence(Qt::Key_Up)});
    ReculeLentAction =
        MakeAction(this, "ReculeLentAction", "Slow rewind", {QKeySequence(Qt::Key_Left)});
    ReculeRapideAction =
        MakeAction(this, "ReculeRapideAction", "Fast rewind", {QKeySequence(Qt::Key_Down)});
    PlayPauseAction = MakeAction(this, "PlayPauseAction", "Play / Pause", {});

    FastRewBtn = MakeButton(this, "FastRewBtn", ReculeRapideAction,
                            s->standardIcon(QStyle::SP_MediaSeekBackward));
    RecullentBtn = MakeButton(this, "RecullentBtn", ReculeLentAction,
                              s->standardIcon(QStyle::SP_MediaSkipBackward));
    PlayBtn = MakeButton(this, "PlayBtn", PlayAction, s->standardIcon(QStyle::SP_MediaPlay));
    PauseBtn = MakeButton(this, "PauseBtn", PauseAction, s->standardIcon(QStyle::SP_MediaPause));
    StopBtn = MakeButton(this, "StopBtn", StopAction, s->standardIcon(QStyle::SP_MediaStop));
    AvanceLentBtn = MakeButton(this, "AvanceLentBtn", AvanceLentAction,
                               s->standardIcon(QStyle::SP_MediaSkipForward));
    FastForwardBtn = MakeButton(this, "FastForwardBtn", AvanceRapideAction,
                                s->standardIcon(QStyle::SP_MediaSeekForward));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(1);
    for (QToolButton* b :
         {FastRewBtn, RecullentBtn, PlayBtn, PauseBtn, StopBtn, AvanceLentBtn, FastForwardBtn}) {
        row->addWidget(b);
    }

    connect(PlayAction, &QAction::triggered, this, [this] { Set(ED_MODE_PLAY); });
    connect(PauseAction, &QAction::triggered, this, [this] { Set(ED_MODE_FREEZE); });
    connect(StopAction, &QAction::triggered, this, [this] { Set(ED_MODE_STOP); });
    connect(AvanceLentAction, &QAction::triggered, this, [this] { Set(ED_MODE_PLAY_SLOWEST_FWD); });
    connect(ReculeLentAction, &QAction::triggered, this, [this] { Set(ED_MODE_PLAY_SLOWEST_REV); });
    connect(AvanceRapideAction, &QAction::triggered, this,
            [this] { Set(FastForwardMode(Current())); });
    connect(ReculeRapideAction, &QAction::triggered, this,
            [this] { Set(FastRewindMode(Current())); });
    connect(PlayPauseAction, &QAction::triggered, this, [this] { Set(PlayPauseMode(Current())); });
}

void Tnav_captureframe::SetTransport(std::shared_ptr<TTapeTransport> transport,
                                     std::shared_ptr<TTapeTransport> timecodeReader) {
    Transport = std::move(transport);
    TransportAvailable = Transport != nullptr;
    TimecodeReader = std::move(timecodeReader);
    TimecodeAvailable = TimecodeReader != nullptr;
}

void Tnav_captureframe::ClearTransport() {
    Transport.reset();
    TransportAvailable = false;
    TimecodeReader.reset();
    TimecodeAvailable = false;
}

void Tnav_captureframe::Set(int mode) {
    // A camcorder that does not answer is not reported: the buttons simply do nothing.
    if (TransportAvailable && Transport) {
        Transport->SetMode(mode);
    }
}

int Tnav_captureframe::Current() {
    return TransportAvailable && Transport ? Transport->Mode() : ED_MODE_STOP;
}

} // namespace vidorel
