// The electrode page, driven through its controls.
#include <QCheckBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include "panel/electrode.h"
#include "tests/panel/panel_fixture.h"

using namespace orvix;

TEST_F(PanelTest, ElectrodePageShowsAndStoresChannelSettings)
{
    doc->depths[2] = -150;
    doc->activeChannels = 0xFE;
    CElectrode* page = Panel()->ElectrodePage();
    EXPECT_EQ(Control<QLineEdit>(page, CElectrode::IDC_DEPTH_1 + 2)->text(), "-150");
    EXPECT_FALSE(Control<QCheckBox>(page, CElectrode::IDC_ACTIVE_1)->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(page, CElectrode::IDC_ACTIVE_1 + 1)->isChecked());
    EXPECT_TRUE(Control<QRadioButton>(page, CElectrode::IDC_MAIN_1 + 3)->isChecked());
    EXPECT_TRUE(Control<QRadioButton>(page, CElectrode::IDC_ELECTRODE_FIRST + 8 * 5 + 5)->isChecked());

    // Depths reach the document only on Apply.
    Control<QLineEdit>(page, CElectrode::IDC_DEPTH_1)->setText("1234");
    EXPECT_EQ(doc->depths[0], 0);
    Control<QPushButton>(page, CElectrode::IDC_APPLY)->click();
    EXPECT_EQ(doc->depths[0], 1234);
    EXPECT_EQ(doc->depths[2], -150);
    // The document keeps 16 bits: a larger depth is held at the limit, never wrapped.
    Control<QLineEdit>(page, CElectrode::IDC_DEPTH_1 + 1)->setText("40000");
    Control<QPushButton>(page, CElectrode::IDC_APPLY)->click();
    EXPECT_EQ(doc->depths[1], 32767);

    Control<QCheckBox>(page, CElectrode::IDC_ACTIVE_1)->click();
    EXPECT_EQ(doc->activeChannels, 0xFF);
    Control<QCheckBox>(page, CElectrode::IDC_ACTIVE_1 + 7)->click();
    EXPECT_EQ(doc->activeChannels, 0x7F);
    EXPECT_EQ(bar.buttons, (std::vector<int>{0, 7}));

    bar.buttons.clear();
    Control<QRadioButton>(page, CElectrode::IDC_ELECTRODE_FIRST + 8 * 1 + 6)->click();
    EXPECT_EQ(doc->gridChoices[1], 6);
    EXPECT_EQ(bar.buttons, (std::vector<int>{1}));

    // A new main channel refreshes the new one, then the old one.
    bar.buttons.clear();
    Control<QRadioButton>(page, CElectrode::IDC_MAIN_1 + 5)->click();
    EXPECT_EQ(doc->mainChannel, 5);
    EXPECT_EQ(bar.buttons, (std::vector<int>{5, 3}));

    // The document's own changes show on the page.
    doc->gridChoices[4] = 0;
    doc->UpdateChannelDisplay(4);
    EXPECT_TRUE(Control<QRadioButton>(page, CElectrode::IDC_ELECTRODE_FIRST + 8 * 4)->isChecked());
}

TEST_F(PanelTest, CellIdsStayWithinOneToTwentySix)
{
    CElectrode* page = Panel()->ElectrodePage();
    QSpinBox* spin = page->CellSpin(2);
    EXPECT_EQ(spin->value(), 1);

    spin->stepUp();
    EXPECT_EQ(doc->cellIds[2], 2);
    EXPECT_EQ(bar.buttons, (std::vector<int>{2}));
    QTest::keyClick(spin, Qt::Key_Down);
    QTest::keyClick(spin, Qt::Key_Down);
    EXPECT_EQ(doc->cellIds[2], 1);

    // The spin's notification: up reports -1; large moves cannot wrap the 16-bit id.
    page->OnCellIdSpin(2, -30);
    EXPECT_EQ(doc->cellIds[2], 26);
    page->OnCellIdSpin(2, -1);
    EXPECT_EQ(doc->cellIds[2], 26);
    EXPECT_EQ(spin->value(), 26);
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(doc->cellIds[2], 26);
    page->OnCellIdSpin(2, 70000);
    EXPECT_EQ(doc->cellIds[2], 1);
    page->OnCellIdSpin(2, -65536 - 3);
    EXPECT_EQ(doc->cellIds[2], 26);
    page->OnCellIdSpin(2, 1);
    EXPECT_EQ(doc->cellIds[2], 25);
    EXPECT_EQ(spin->value(), 25);
}
