// The window's side of the Settings panel and of the system report: the encoders found put
// into the panel, the choices that reach the engine (the MPEG-4 compressor, the MP3 bitrate,
// the Windows Media profiles), and the report on the Help panel's System page.
#include "app/AproposFrame.h"
#include "app/CaptureForm.h"
#include "app/HelpFrame.h"
#include "app/OperatingSystem.h"
#include "app/OptionsFrame.h"
#include "app/PropertyFrame.h"
#include "graph/AVgraph.h"
#include "graph/DSFunctions.h"
#include "graph/Encoders.h"
#include "graph/OptionsUnit.h"
#include "settings/Preferences.h"
#include "sources/Plugin.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>

namespace vidorel {

namespace {

QColor ColourOf(TReportColour c) {
    switch (c) {
    case TReportColour::Blue:
        return QColor(0, 0, 0xFF);
    case TReportColour::Red:
        return QColor(0xFF, 0, 0);
    case TReportColour::Olive:
        return QColor(0x80, 0x80, 0);
    case TReportColour::Black:
    default:
        return QColor(0, 0, 0);
    }
}

} // namespace

namespace {

// Gives an encoder's moniker the settings its page left in the store.
void WithStoredSettings(TFilter& encoder) {
    TMoniker m = encoder.Moniker();
    if (m.factory.empty()) {
        return;
    }
    m.properties = StoredEncoderSettings(m.factory);
    encoder.SetMoniker(std::move(m));
}

} // namespace

void TCaptureForm::BindSettings() {
    TOptionsFrame& o = *optionsFrame_;
    QObject::connect(o.cboxdivx, &QComboBox::activated, this, [this] {
        const std::string name = optionsFrame_->cboxdivx->currentText().toStdString();
        if (dm_ != nullptr) {
            dm_->divx.ClearMoniker();
            SelectFilterByName(kVideoCompressorCategory, name, dm_->divx);
            WithStoredSettings(dm_->divx);
        }
        prefs::DivxFavori->Value = name;
    });
    QObject::connect(o.sbPropDivx, &QPushButton::clicked, this, [this] {
        if (dm_ != nullptr) {
            EncoderPage(dm_->divx, QStringLiteral("DivX video"));
        }
    });
    QObject::connect(o.sbPropMp3, &QPushButton::clicked, this, [this] {
        if (dm_ != nullptr) {
            EncoderPage(dm_->mp3, QStringLiteral("Mp3"));
        }
    });
    QObject::connect(o.sbVersionDivx, &QPushButton::clicked, this, [this] {
        if (dm_ != nullptr) {
            Tell(PromptKind::Information, EncoderVersionText(dm_->divx.Moniker().factory));
        }
    });
    // Chosen from the list, or typed and confirmed.
    const auto bitrate = [this] {
        QComboBox* box = optionsFrame_->cboxBitratemp3;
        const QString text = box->currentText();
        const int stored = StoreMp3Bitrate(text.toStdString());
        if (QString::number(stored) != text) {
            const QSignalBlocker quiet(box);
            box->setCurrentText(QStringLiteral("128"));
        }
    };
    QObject::connect(o.cboxBitratemp3, &QComboBox::activated, this, bitrate);
    QObject::connect(o.cboxBitratemp3->lineEdit(), &QLineEdit::editingFinished, this, bitrate);
    o.rgversion->OnClick = [this](int item) {
        prefs::VersionWmv->Value = item;
        FillWmvProfiles();
    };
    o.rgProfiles->OnClick = [](int item) { prefs::ProfileWmv->Value = item; };
    QObject::connect(o.cboxMedia, &QComboBox::activated, this, [this] {
        prefs::ProfilWmvFavori->Value = optionsFrame_->cboxMedia->currentText().toStdString();
    });
}

void TCaptureForm::EncoderPage(TFilter& encoder, const QString& title) {
    const TMoniker& m = encoder.Moniker();
    if (m.factory.empty()) {
        return;
    }
    GstElementRef element;
    try {
        element = MakeElement(m.factory.c_str());
    } catch (const EGraphError&) {
        return;
    }
    ApplySettings(element.get(), m.properties);
    TPropertyFrame page(element.get(), title, this);
    if (ExecDialog(page) != QDialog::Accepted || !page.Apply()) {
        return;
    }
    // Kept as what differs from the encoder's defaults: the recordings' own instances take
    // them, and so does the next start.
    TMoniker changed = m;
    changed.properties = ChangedSettings(element.get());
    StoreEncoderSettings(changed.factory, changed.properties);
    encoder.SetMoniker(std::move(changed));
}

void TCaptureForm::DiscoverEncodersIntoPanel() {
    if (dm_ == nullptr) {
        return;
    }
    TOptionsFrame& o = *optionsFrame_;
    encoders_ = DiscoverEncoders(prefs::DivxFavori->Value, dm_->divx, dm_->mp3);
    WithStoredSettings(dm_->divx);
    WithStoredSettings(dm_->mp3);
    {
        const QSignalBlocker quiet(o.cboxdivx);
        o.cboxdivx->clear();
        for (const auto& name : encoders_.DivxNames) {
            o.cboxdivx->addItem(QString::fromStdString(name));
        }
        o.cboxdivx->setCurrentIndex(encoders_.DivxSelected);
    }
    o.ShowEncoders(encoders_.DivxEncoderFound, encoders_.Mp3EncoderAvailable);
    if (encoders_.Mp3EncoderAvailable) {
        // A stored bitrate the list does not hold leaves the selection as it is.
        if (const auto stored = StoredMp3Bitrate()) {
            const int i = o.cboxBitratemp3->findText(QString::number(*stored));
            if (i >= 0) {
                const QSignalBlocker quiet(o.cboxBitratemp3);
                o.cboxBitratemp3->setCurrentIndex(i);
            }
        }
    }
    FillWmvProfiles();
}

void TCaptureForm::FillWmvProfiles() {
    TOptionsFrame& o = *optionsFrame_;
    const QSignalBlocker quiet(o.cboxMedia);
    o.cboxMedia->clear();
    for (const auto& name : WmvProfileNames(std::max(0, o.rgversion->ItemIndex()))) {
        o.cboxMedia->addItem(QString::fromStdString(name));
    }
    const int favourite =
        o.cboxMedia->findText(QString::fromStdString(prefs::ProfilWmvFavori->Value));
    o.cboxMedia->setCurrentIndex(favourite >= 0 ? favourite : 0);
}

void TCaptureForm::WriteSystemReport() {
    TReportFacts facts = GatherEncoderFacts(encoders_.DivxNames, encoders_.Mp3EncoderAvailable);
    facts.OperatingSystem = OperatingSystemName().toStdString();
    for (const auto& [name, offered] : lists_.Exclusions) {
        facts.Sources.push_back({name, offered});
    }
    for (const TpluginData& p : PluginList().Items) {
        facts.Plugins.push_back({p.DriverName, p.PluginPath, !p.Enabled});
    }
    reportLines_ = SystemReportLines(facts);

    QTextEdit* edit = helpFrame_->RichEdit1;
    edit->clear();
    QTextCursor cursor(edit->document());
    QTextCharFormat format;
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    font.setBold(true);
    format.setFont(font);
    bool first = true;
    for (const TReportLine& line : reportLines_) {
        if (!first) {
            cursor.insertBlock();
        }
        first = false;
        format.setForeground(ColourOf(line.Colour));
        format.setFontItalic(line.Italic);
        cursor.insertText(QString::fromStdString(line.Text), format);
    }
    aproposFrame_->SetMailBody(QString::fromStdString(ReportMailText(reportLines_)));
}

} // namespace vidorel
