#include "app/Controls.h"
#include "app/FormTexts.h"
#include "tests/app/QtTestApp.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

using namespace vidorel;

TEST(FormTexts, captionsHintsItemsAndAccessibleNamesByObjectName) {
    test::TestApp();
    QWidget root;
    root.setObjectName("root");
    auto* label = new QLabel(&root);
    label->setObjectName("labVolume");
    auto* combo = new QComboBox(&root);
    combo->setObjectName("cbUnits");
    auto* radio = new TRadioGroup("rgWhen", &root);
    auto* tabs = new QTabWidget(&root);
    auto* page = new QWidget;
    page->setObjectName("tsSystem");
    tabs->addTab(page, "x");
    auto* action = new QAction(&root);
    action->setObjectName("acGrab");

    const auto missing =
        ApplyTexts(&root, {{"labVolume", "Volume", "Line one\r\nLine two"},
                           {"cbUnits", nullptr, "Unit", {"seconds", "frames"}},
                           {"rgWhen", "When", nullptr, {"Unique", "Daily", "Scene"}},
                           {"tsSystem", "System"},
                           {"acGrab", "Grab!", "Grab a picture"},
                           {"nowhere", "lost"}});
    EXPECT_EQ(label->text(), "Volume");
    EXPECT_EQ(label->toolTip(), "Line one\nLine two");
    EXPECT_EQ(label->accessibleName(), "Volume");
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(1), "frames");
    // Without a caption the hint's first line names the control.
    EXPECT_EQ(combo->accessibleName(), "Unit");
    EXPECT_EQ(radio->title(), "When");
    ASSERT_EQ(radio->Count(), 3);
    EXPECT_EQ(radio->Item(2), "Scene");
    EXPECT_EQ(tabs->tabText(0), "System");
    EXPECT_EQ(action->text(), "Grab!");
    EXPECT_EQ(action->toolTip(), "Grab a picture");
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0], "nowhere");
}

TEST(RadioGroup, programSelectionIsSilentAndUserClicksAreReported) {
    test::TestApp();
    TRadioGroup group("rgExtension");
    group.SetItems({"bmp", "jpeg"});
    std::vector<int> clicks;
    group.OnClick = [&](int i) { clicks.push_back(i); };
    EXPECT_EQ(group.ItemIndex(), -1);
    group.SetItemIndex(1);
    EXPECT_EQ(group.ItemIndex(), 1);
    EXPECT_TRUE(clicks.empty());
    group.show();
    QTest::mouseClick(group.Button(0), Qt::LeftButton);
    EXPECT_EQ(group.ItemIndex(), 0);
    EXPECT_EQ(clicks, std::vector<int>{0});
    group.SetItemIndex(7); // out of range: none
    EXPECT_EQ(group.ItemIndex(), -1);
    // New items keep the chosen index when it still exists.
    group.SetItemIndex(1);
    group.SetItems({"bmp", "jpeg", "png"});
    EXPECT_EQ(group.ItemIndex(), 1);
}
