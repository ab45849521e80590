#include "analysis/aligntrialsdlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "tests/analysis/synthetic_trials.h"
#include "tests/document/doc_fixture.h"

using namespace orvix;

namespace {

struct ViewCounter : IDocObserver {
    void OnUpdate(IDocObserver*, const DocUpdate& u) override
    {
        ++updates;
        hint = u.hint;
    }
    int updates = 0;
    int hint = -1;
};

class AlignDlgTest : public DocTest {
protected:
    void SetUp() override
    {
        DocTest::SetUp();
        doc = std::make_unique<COrvixDoc>();
        doc->AddObserver(&views);
    }
    void TearDown() override
    {
        dlg.reset();
        doc.reset();
        DocTest::TearDown();
    }
    void Open()
    {
        dlg = std::make_unique<CAlignTrialsDlg>(nullptr, doc.get());
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    }
    template <class W>
    W* Ctl(int id) { return dlg->findChild<W*>(QStringLiteral("ctl%1").arg(id)); }
    // Replaces the rate edit's text key by key, as the user types it.
    void TypeRate(const char* text)
    {
        QLineEdit* e = Ctl<QLineEdit>(CAlignTrialsDlg::IDC_FRAME_RATE);
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
    }
    void Add(std::vector<std::unique_ptr<CTrial>> trials)
    {
        for (auto& t : trials)
            doc->AddTrial(t.release());
    }

    ViewCounter views;
    std::unique_ptr<COrvixDoc> doc;
    std::unique_ptr<CAlignTrialsDlg> dlg;
};

TEST_F(AlignDlgTest, StartsFromTheDocument)
{
    Open();
    EXPECT_FALSE(Ctl<QCheckBox>(CAlignTrialsDlg::IDC_ALIGN)->isChecked());
    EXPECT_EQ(Ctl<QLineEdit>(CAlignTrialsDlg::IDC_DELAY)->text(), "7");
    EXPECT_EQ(Ctl<QLineEdit>(CAlignTrialsDlg::IDC_FRAME_RATE)->text(), "72.207067");
    EXPECT_EQ(Ctl<QSlider>(CAlignTrialsDlg::IDC_DELAY_SLIDER)->value(), 700);
    EXPECT_EQ(Ctl<QSlider>(CAlignTrialsDlg::IDC_RATE_SLIDER)->value(), 0);
    EXPECT_EQ(Ctl<QSlider>(CAlignTrialsDlg::IDC_RATE_SLIDER)->minimum(), -1000);
    for (int id : {CAlignTrialsDlg::IDC_DELAY, CAlignTrialsDlg::IDC_FRAME_RATE, CAlignTrialsDlg::IDC_DELAY_SLIDER,
                   CAlignTrialsDlg::IDC_RATE_SLIDER})
        EXPECT_FALSE(dlg->findChild<QWidget*>(QStringLiteral("ctl%1").arg(id))->isEnabled()) << id;
    EXPECT_EQ(views.updates, 0);
}

TEST_F(AlignDlgTest, CheckBoxAndSlidersGoIntoTheDocumentAtOnce)
{
    doc->frameRate = 72.0;
    Open();
    Ctl<QCheckBox>(CAlignTrialsDlg::IDC_ALIGN)->click();
    EXPECT_EQ(doc->alignOnFigOnset, 1);
    EXPECT_TRUE(Ctl<QSlider>(CAlignTrialsDlg::IDC_DELAY_SLIDER)->isEnabled());
    EXPECT_EQ(views.updates, 1);
    EXPECT_EQ(views.hint, HINT_REBUILD);

    Ctl<QSlider>(CAlignTrialsDlg::IDC_DELAY_SLIDER)->setValue(1234);
    EXPECT_DOUBLE_EQ(doc->estimatedDelay, 12.34);
    EXPECT_EQ(Ctl<QLineEdit>(CAlignTrialsDlg::IDC_DELAY)->text(), "12.34");
    Ctl<QSlider>(CAlignTrialsDlg::IDC_RATE_SLIDER)->setValue(1000);
    EXPECT_NEAR(doc->frameRate, 72.001, 1e-12);
    EXPECT_EQ(Ctl<QLineEdit>(CAlignTrialsDlg::IDC_FRAME_RATE)->text(), "72.001");
    EXPECT_EQ(views.updates, 3);
    // A typed delay waits for Apply.
    Ctl<QLineEdit>(CAlignTrialsDlg::IDC_DELAY)->setText("3.5");
    EXPECT_DOUBLE_EQ(doc->estimatedDelay, 12.34);
}

// Keystroke by keystroke: only a whole rate above 0 reaches the document, and no box
// interrupts the typing; a typed rate re-centres the fine slider.
TEST_F(AlignDlgTest, TypedRateTakesOnlyRatesAboveZero)
{
    doc->alignOnFigOnset = 1;
    Open();
    Ctl<QSlider>(CAlignTrialsDlg::IDC_RATE_SLIDER)->setValue(500);
    TypeRate("0");
    EXPECT_NEAR(doc->frameRate, 72.207567, 1e-9);
    TypeRate("-");
    TypeRate("");
    EXPECT_NEAR(doc->frameRate, 72.207567, 1e-9);
    TypeRate("60.5");
    EXPECT_DOUBLE_EQ(doc->frameRate, 60.5);
    EXPECT_DOUBLE_EQ(dlg->BaseFrameRate(), 60.5);
    EXPECT_EQ(Ctl<QSlider>(CAlignTrialsDlg::IDC_RATE_SLIDER)->value(), 0);
    // Nor can the fine slider take a tiny typed rate below 0.
    TypeRate("0.0005");
    Ctl<QSlider>(CAlignTrialsDlg::IDC_RATE_SLIDER)->setValue(-1000);
    EXPECT_DOUBLE_EQ(doc->frameRate, 0.0005);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(AlignDlgTest, ApplyStoresAndReplacesTooLowRates)
{
    doc->alignOnFigOnset = 1;
    Open();
    struct Case {
        const char* rate;
        double stored;
        size_t messages;
    } cases[] = {{"29.9", 72.0, 1}, {"30", 30.0, 0}, {"0", 72.0, 1}};
    for (const Case& c : cases) {
        ui.messages.clear();
        Ctl<QLineEdit>(CAlignTrialsDlg::IDC_FRAME_RATE)->setText(c.rate);
        Ctl<QLineEdit>(CAlignTrialsDlg::IDC_DELAY)->setText("3.5");
        QTest::mouseClick(Ctl<QPushButton>(IDOK), Qt::LeftButton);
        EXPECT_DOUBLE_EQ(doc->frameRate, c.stored) << c.rate;
        EXPECT_DOUBLE_EQ(doc->estimatedDelay, 3.5);
        ASSERT_EQ(ui.messages.size(), c.messages) << c.rate;
        if (c.messages) {
            EXPECT_EQ(ui.messages[0].text, "Display frame rate is too low. Set to 72Hz by default.");
        }
        EXPECT_EQ(Ctl<QLineEdit>(CAlignTrialsDlg::IDC_FRAME_RATE)->text(), c.rate); // as typed
        EXPECT_TRUE(dlg->isVisible());
    }
    ui.messages.clear();
    Ctl<QLineEdit>(CAlignTrialsDlg::IDC_DELAY)->setText("abc");
    QTest::mouseClick(Ctl<QPushButton>(IDOK), Qt::LeftButton);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Please enter a number.");
    EXPECT_DOUBLE_EQ(doc->estimatedDelay, 3.5);
}

TEST_F(AlignDlgTest, AutoDelayEstimatesFromTheTrials)
{
    doc->alignOnFigOnset = 1;
    doc->OnSelectChannel(-1); // the mean: the main channel is used
    doc->mainChannel = kChannel;
    Open();
    QPushButton* autoDelay = Ctl<QPushButton>(CAlignTrialsDlg::IDC_AUTO_DELAY);
    QTest::mouseClick(autoDelay, Qt::LeftButton); // no trial: nothing
    EXPECT_DOUBLE_EQ(doc->estimatedDelay, 7.0);
    EXPECT_TRUE(ui.messages.empty());

    Add(Synthetic(72.207067, 4.3, 120, 11));
    int before = views.updates;
    QTest::mouseClick(autoDelay, Qt::LeftButton);
    EXPECT_NEAR(doc->estimatedDelay, 4.3, 1e-9);
    EXPECT_EQ(Ctl<QLineEdit>(CAlignTrialsDlg::IDC_DELAY)->text(), "4.3");
    EXPECT_EQ(Ctl<QSlider>(CAlignTrialsDlg::IDC_DELAY_SLIDER)->value(), 430);
    EXPECT_TRUE(autoDelay->isEnabled());
    EXPECT_GT(views.updates, before);
    EXPECT_TRUE(Ctl<QLabel>(CAlignTrialsDlg::IDC_NOTE)->text().startsWith("Estimated from 120 trials on channel 3"));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(AlignDlgTest, AutoDelayWithOneRespondingTrialSaysWhy)
{
    doc->mainChannel = kChannel;
    doc->OnSelectChannel(-1);
    auto trials = Synthetic(72.207067, 4.3, 3, 2);
    trials[0]->channelResponses[kChannel] = -1.0f;
    trials[2]->channelResponses[kChannel] = -1.0f;
    Add(std::move(trials));
    Open();
    QTest::mouseClick(Ctl<QPushButton>(CAlignTrialsDlg::IDC_AUTO_DELAY), Qt::LeftButton);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("Only one trial has a response on channel 3"), std::string::npos);
    EXPECT_DOUBLE_EQ(doc->estimatedDelay, 7.0);
}

} // namespace
