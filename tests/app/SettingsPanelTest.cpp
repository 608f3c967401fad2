// The Settings panel and the system report on the real window and engine.
#include "app/HelpFrame.h"
#include "app/OptionsFrame.h"
#include "app/PropertyFrame.h"
#include "graph/CapturePlans.h"
#include "graph/OptionsUnit.h"
#include "tests/app/WindowRecorder.h"

#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextEdit>

using namespace vidorel;
using namespace vidorel::test;

namespace {

void SeedBitrate(uint32_t kbits) {
    TRegistry reg{RegistryFile(RegistryFile::DefaultPath())};
    ASSERT_TRUE(reg.OpenKey(kMp3EncoderKey, true));
    reg.WriteDWord(kMp3BitrateValue, kbits);
    ASSERT_TRUE(reg.Commit());
}

} // namespace

TEST(SettingsPanel, theEncodersFoundFillThePanelAndTheReportTellsThemAndTheSources) {
    SeedBitrate(100); // no such item: the list keeps its selection
    Recorder r({{"Source video", "Vidorel Test Pattern"},
                {"Source Audio", "No Audio Stream"},
                {"Sources Exclues", "DV Source - Video\r\n"}});
    TCaptureForm& form = r.form;
    auto* o = static_cast<TOptionsFrame*>(form.Panel(5));
    // An Xvid-compatible compressor exists here (gstreamer1.0-libav): the divx page shows it,
    // selected by default, and the Mp3 encoder's choice with it.
    ASSERT_TRUE(form.Encoders().DivxEncoderFound);
    EXPECT_TRUE(o->PageControl1->isTabVisible(TOptionsFrame::kPageDivx));
    ASSERT_GT(o->cboxdivx->count(), 0);
    EXPECT_TRUE(o->cboxdivx->currentText().contains("xvid", Qt::CaseInsensitive))
        << o->cboxdivx->currentText().toStdString();
    EXPECT_TRUE(form.Encoders().Mp3EncoderAvailable);
    EXPECT_EQ(o->cboxBitratemp3->currentText(), "128");
    // The profiles of the stored version are listed.
    EXPECT_GT(o->cboxMedia->count(), 0);

    // A bitrate typed that is no number goes back to 128 and stores nothing.
    o->cboxBitratemp3->setCurrentIndex(o->cboxBitratemp3->findText("192"));
    emit o->cboxBitratemp3->activated(o->cboxBitratemp3->currentIndex());
    EXPECT_EQ(StoredMp3Bitrate(), 192);
    o->cboxBitratemp3->setCurrentText("fast");
    emit o->cboxBitratemp3->activated(o->cboxBitratemp3->currentIndex());
    EXPECT_EQ(o->cboxBitratemp3->currentText(), "128");
    EXPECT_EQ(StoredMp3Bitrate(), 192);

    // The compressor's page: what is changed there is kept for the recordings and the store.
    form.RunDialog = [](QDialog& dialog) {
        auto* bitrate =
            static_cast<QSpinBox*>(static_cast<TPropertyFrame&>(dialog).Editor("bitrate"));
        EXPECT_TRUE(bitrate);
        if (bitrate) {
            bitrate->setValue(654321);
        }
        return static_cast<int>(QDialog::Accepted);
    };
    o->sbPropDivx->click();
    const TMoniker& divx = r.dm.divx.Moniker();
    ASSERT_FALSE(divx.factory.empty());
    EXPECT_EQ(divx.properties, (TSettings{{"bitrate", "654321"}}));
    EXPECT_EQ(StoredEncoderSettings(divx.factory), divx.properties);
    // At the next discovery (the next start) the compressor gets them back.
    r.dm.divx.ClearMoniker();
    form.DiscoverEncodersIntoPanel();
    EXPECT_EQ(r.dm.divx.Moniker().properties, (TSettings{{"bitrate", "654321"}}));
    StoreEncoderSettings(r.dm.divx.Moniker().factory, {});

    // The report: the excluded source in red with " -".
    auto* help = static_cast<THelpFrame*>(form.Panel(6));
    const QTextDocument* doc = help->RichEdit1->document();
    bool excludedInRed = false;
    bool sources = false;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        if (b.text() == "Sources:") {
            sources = true;
        }
        if (b.text() == "DV Source - Video -") {
            excludedInRed = b.begin().fragment().charFormat().foreground().color() == Qt::red;
        }
    }
    EXPECT_TRUE(sources) << doc->toPlainText().toStdString();
    EXPECT_TRUE(excludedInRed) << doc->toPlainText().toStdString();
    EXPECT_TRUE(doc->toPlainText().contains("GStreamer version 1."));
    EXPECT_TRUE(doc->toPlainText().contains("Vidorel Test Pattern +"));
    form.ShowPanel(6);
    help->PageControl1->setCurrentWidget(help->tsSystem);
    Settle(100);
    form.grab().save(QStringLiteral("window-report.png")); // for a look by eye
}
