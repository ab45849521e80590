#include "analysis/aligntrialsdlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "analysis/figondelay.h"
#include "document/orvixdoc.h"
#include "platform/text/numbers.h"
#include "platform/text/qtext.h"
#include "platform/ui/objectname.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

constexpr double kLowestRate = 30.0;
constexpr double kDefaultRate = 72.0;

// A whole text that is one finite number in the C locale.
bool ReadNumber(const QLineEdit* edit, double& value)
{
    bool ok = false;
    double v = QLocale::c().toDouble(edit->text().trimmed(), &ok);
    if (!ok || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

QString Number(double v) { return ToQ(Format("%.15g", v)); }

} // namespace

CAlignTrialsDlg::CAlignTrialsDlg(QWidget* parent, COrvixDoc* doc)
    : QDialog(parent), doc_(doc), baseFrameRate_(doc->frameRate), align_(doc->alignOnFigOnset != 0),
      delay_(doc->estimatedDelay), frameRate_(doc->frameRate)
{
    setWindowTitle("Align trials");
    alignCheck_ = Named(new QCheckBox("Align trials:", this), IDC_ALIGN);
    delayEdit_ = Named(new QLineEdit(this), IDC_DELAY);
    rateEdit_ = Named(new QLineEdit(this), IDC_FRAME_RATE);
    delaySlider_ = Named(new QSlider(Qt::Horizontal, this), IDC_DELAY_SLIDER);
    rateSlider_ = Named(new QSlider(Qt::Horizontal, this), IDC_RATE_SLIDER);
    delaySlider_->setRange(0, kDelaySteps);
    rateSlider_->setRange(-kRateSteps, kRateSteps);
    delaySlider_->setMinimumWidth(260);
    auto_ = Named(new QPushButton("Auto delay", this), IDC_AUTO_DELAY);
    auto* apply = Named(new QPushButton("&Apply", this), IDOK);
    auto* cancel = Named(new QPushButton("&Cancel", this), IDCANCEL);
    apply->setDefault(true);
    note_ = Named(new QLabel(this), IDC_NOTE);
    note_->setWordWrap(true);

    auto* grid = new QGridLayout;
    grid->addWidget(alignCheck_, 0, 0);
    grid->addWidget(new QLabel("Estimated FIG_ON delay (ms):", this), 1, 0);
    grid->addWidget(delayEdit_, 1, 1);
    grid->addWidget(auto_, 1, 2);
    grid->addWidget(delaySlider_, 2, 0, 1, 3);
    grid->addWidget(new QLabel("Frame rate of display (Hz):", this), 3, 0);
    grid->addWidget(rateEdit_, 3, 1);
    grid->addWidget(rateSlider_, 4, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(apply);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(note_);
    layout->addLayout(buttons);

    alignCheck_->setChecked(align_);
    ShowValues();
    rateSlider_->setValue(0);
    EnableControls();

    connect(alignCheck_, &QCheckBox::clicked, this, [this] { OnAlignCheck(); });
    connect(delaySlider_, &QSlider::valueChanged, this, [this] { OnHScroll(); });
    connect(rateSlider_, &QSlider::valueChanged, this, [this] { OnHScroll(); });
    connect(rateEdit_, &QLineEdit::textEdited, this, [this] { OnChangeFrameRate(); });
    connect(auto_, &QPushButton::clicked, this, [this] { OnAutoDelay(); });
    connect(apply, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CAlignTrialsDlg::EnableControls()
{
    for (QWidget* w : {static_cast<QWidget*>(delayEdit_), static_cast<QWidget*>(rateEdit_),
                       static_cast<QWidget*>(delaySlider_), static_cast<QWidget*>(rateSlider_)})
        w->setEnabled(align_);
}

void CAlignTrialsDlg::ShowValues()
{
    showing_ = true;
    delayEdit_->setText(Number(delay_));
    rateEdit_->setText(Number(frameRate_));
    delaySlider_->setValue(static_cast<int>(std::clamp(delay_ * 100.0, 0.0, double(kDelaySteps))));
    showing_ = false;
}

void CAlignTrialsDlg::UpdateViews() { doc_->UpdateAllViews(nullptr, HINT_REBUILD); }

void CAlignTrialsDlg::OnAlignCheck()
{
    align_ = alignCheck_->isChecked();
    EnableControls();
    doc_->alignOnFigOnset = align_ ? 1 : 0;
    UpdateViews();
}

void CAlignTrialsDlg::OnHScroll()
{
    if (showing_)
        return;
    delay_ = delaySlider_->value() * 0.01;
    // A typed rate of a few thousandths of a hertz less the slider's offset would be none.
    const double rate = baseFrameRate_ + rateSlider_->value() * 0.000001;
    if (rate > 0.0)
        frameRate_ = rate;
    doc_->estimatedDelay = delay_;
    doc_->frameRate = frameRate_;
    ShowValues();
    UpdateViews();
}

void CAlignTrialsDlg::OnChangeFrameRate()
{
    // Each keystroke arrives here: only a whole rate above 0 is taken, so that "7" on the
    // way to "72" or an empty edit never reaches the document as a rate.
    double rate;
    if (!ReadNumber(rateEdit_, rate) || !(rate > 0.0))
        return;
    baseFrameRate_ = frameRate_ = rate;
    doc_->frameRate = rate;
    showing_ = true;
    rateSlider_->setValue(0);
    showing_ = false;
    UpdateViews();
}

void CAlignTrialsDlg::OnAutoDelay()
{
    if (doc_->GetTrialCount() == 0)
        return;
    auto_->setEnabled(false);
    FigOnDelayEstimate e = EstimateFigOnDelay(*doc_);
    auto_->setEnabled(true);
    switch (e.status) {
    case FigOnDelayEstimate::BAD_FRAME_RATE:
        MessageBox(Format("The frame rate must be at least %g Hz to estimate the FIG_ON delay.", kMinFrameRate));
        return;
    case FigOnDelayEstimate::NO_USED_TRIALS:
        MessageBox(Format("No trial has a response on channel %d: the FIG_ON delay cannot be estimated.", e.channel));
        return;
    case FigOnDelayEstimate::NO_PAIRS:
        MessageBox(Format("Only one trial has a response on channel %d: the FIG_ON delay is estimated by comparing "
                          "trials, so at least two are needed.",
                          e.channel));
        return;
    default: break;
    }
    if (e.status != FigOnDelayEstimate::ESTIMATED)
        return;
    delay_ = e.delay;
    doc_->estimatedDelay = delay_;
    ShowValues();
    std::string note = Format("Estimated from %d trials on channel %d (each compared with the next %d).", e.usedTrials,
                              e.channel, e.window - 1);
    if (e.delay == 0.0)
        note += " No delay made the trials' spike histograms alike: the delay is 0.";
    if (e.emptyTrials > 0)
        note += Format(" %d of the trials had no spike in the 200 ms after the shifted onset at some delay; their "
                       "pairs counted as no correlation there.",
                       e.emptyTrials);
    note_->setText(ToQ(note));
    if (align_)
        UpdateViews();
}

void CAlignTrialsDlg::OnOK()
{
    double delay, rate;
    if (!ReadNumber(delayEdit_, delay)) {
        MessageBox("Please enter a number.");
        delayEdit_->setFocus();
        return;
    }
    if (!ReadNumber(rateEdit_, rate)) {
        MessageBox("Please enter a number.");
        rateEdit_->setFocus();
        return;
    }
    align_ = alignCheck_->isChecked();
    delay_ = delay;
    frameRate_ = rate;
    doc_->alignOnFigOnset = align_ ? 1 : 0;
    doc_->estimatedDelay = delay_;
    doc_->frameRate = frameRate_;
    // The views and the export divide by the rate: nothing below a real display's rate.
    if (!(doc_->frameRate >= kLowestRate)) {
        MessageBox("Display frame rate is too low. Set to 72Hz by default.");
        doc_->frameRate = kDefaultRate;
    }
    UpdateViews();
}

} // namespace orvix
