#include "panel/playback.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <cstring>

#include "document/orvixdoc.h"
#include "io/deviceio.h"
#include "model/fieldtext.h"
#include "panel/playback_run.h"
#include "platform/runtime/clock.h"
#include "platform/text/qtext.h"
#include "platform/ui/objectname.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {
// A field's text as the program's; false when refused (a letter the code page cannot hold),
// the message naming the field by its accessible name.
bool Take(QWidget* page, int id, std::string& value)
{
    auto* edit = page->findChild<QLineEdit*>(QStringLiteral("ctl%1").arg(id));
    return !edit || TakeField(*edit, value, "the " + FromShown(edit->accessibleName()) + " field");
}
} // namespace

CPlayBack::CPlayBack(COrvixDoc* doc, CDeviceIO& io, QWidget* parent) : QWidget(parent), doc_(doc), io_(io)
{
    setObjectName("Play back");
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Event", this), 0, 0);
    grid->addWidget(new QLabel("Parameter", this), 0, 1);
    grid->addWidget(new QLabel("value", this), 0, 2);
    struct Row {
        const char* label;
        int paramId;
        const char* param;
        int valueId;
        const char* value;
    };
    const Row rows[] = {
        {"TARGET_ON:", IDC_TARGET_ON_PARAM, "TARGET", IDC_TARGET_ON_VALUE, "1"},
        {"TARGET_OFF:", IDC_TARGET_OFF_PARAM, "TARGET", IDC_TARGET_OFF_VALUE, "0"},
        {"TARGET_FLIP:", IDC_TARGET_FLIP_PARAM, "TARGET", IDC_TARGET_FLIP_VALUE, "2"},
        {"FIG_ON:", IDC_FIG_ON_PARAM, "FIGURE", IDC_FIG_ON_VALUE, "1"},
        {"FIG_OFF:", IDC_FIG_OFF_PARAM, "FIGURE", IDC_FIG_OFF_VALUE, "0"},
    };
    int r = 1;
    for (const Row& row : rows) {
        grid->addWidget(new QLabel(row.label, this), r, 0);
        const std::string event(row.label, std::strlen(row.label) - 1);
        grid->addWidget(AddField(row.paramId, row.param, event + " parameter"), r, 1);
        grid->addWidget(AddField(row.valueId, row.value, event + " value"), r, 2);
        ++r;
    }
    grid->addWidget(new QLabel("Key:", this), r, 0);
    grid->addWidget(AddField(IDC_KEY_PARAM, "CURSORDEPTH", "Key parameter"), r++, 1);
    grid->addWidget(new QLabel("Eye:", this), r, 0);
    grid->addWidget(AddField(IDC_EYE_PARAM, "FPPOS", "Eye parameter"), r++, 1);

    slider_ = Named(new QSlider(Qt::Horizontal, this), IDC_SLIDER);
    slider_->setTickPosition(QSlider::TicksBelow);
    slider_->setTickInterval(100);
    start_ = Named(new QPushButton("&Start", this), IDC_START);
    connect(start_, &QPushButton::clicked, this, [this] { OnOK(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(slider_);
    layout->addWidget(start_);
    layout->addStretch(1);

    // Passes run about every millisecond while a replay plays; times come from Clock().
    timer_ = new QTimer(this);
    timer_->setInterval(1);
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, [this] { RunPass(); });
    UpdateRange();
}

CPlayBack::~CPlayBack() = default;

QLineEdit* CPlayBack::AddField(int id, const char* text, const std::string& name)
{
    QLineEdit* edit = Named(new QLineEdit(text, this), id);
    edit->setAccessibleName(ToQ(name));
    return edit;
}

void CPlayBack::UpdateRange()
{
    slider_->setRange(0, std::max(0, doc_->GetRecordedTrialCount() - 1));
    slider_->setValue(0);
}

void CPlayBack::OnOK()
{
    // "&Stop" always ends a replay, also when the renderer went away meanwhile.
    if (playing_) {
        Finish();
        return;
    }
    if (doc_->testRunning)
        return;
    if (!io_.IsRendererRunning()) {
        MessageBox("Inventor is not running.\nSorry, I can't play back.");
        return;
    }
    std::string eye, targetOff, figureOn, figureOff, key;
    CPlaybackSettings s;
    if (!Take(this, IDC_EYE_PARAM, eye) || !Take(this, IDC_TARGET_OFF_PARAM, targetOff)
        || !Take(this, IDC_FIG_ON_PARAM, figureOn) || !Take(this, IDC_FIG_OFF_PARAM, figureOff)
        || !Take(this, IDC_KEY_PARAM, key) || !Take(this, IDC_TARGET_OFF_VALUE, s.targetOffValue)
        || !Take(this, IDC_FIG_ON_VALUE, s.figureOnValue) || !Take(this, IDC_FIG_OFF_VALUE, s.figureOffValue))
        return;
    playing_ = true;
    start_->setText("&Stop");
    s.eye = doc_->FindGraphParam(eye.c_str());
    s.targetOff = doc_->FindGraphParam(targetOff.c_str());
    s.figureOn = doc_->FindGraphParam(figureOn.c_str());
    s.figureOff = doc_->FindGraphParam(figureOff.c_str());
    s.key = doc_->FindGraphParam(key.c_str());
    s.bin = static_cast<float>(doc_->GetBehavParam("EyePointBin", CParam("", 16.6667f)).GetDouble());
    s.units = static_cast<float>(doc_->GetBehavParam("UnitsPerDeg", CParam("", 60.0)).GetDouble());
    run_ = std::make_unique<CPlaybackRun>(*doc_, io_, s);
    pos_ = slider_->value();
    if (pos_ >= doc_->GetRecordedTrialCount() || !run_->BeginTrial(pos_, TickMs())) {
        Finish();
        return;
    }
    timer_->start();
}

void CPlayBack::RunPass()
{
    if (!playing_ || !run_)
        return;
    if (run_->Pass(TickMs()))
        return;
    // Moving the slider during a replay jumps there.
    pos_ = slider_->value() + 1;
    if (pos_ >= doc_->GetRecordedTrialCount() || !run_->BeginTrial(pos_, TickMs())) {
        Finish();
        return;
    }
    slider_->setValue(pos_);
}

void CPlayBack::Finish()
{
    timer_->stop();
    playing_ = false;
    run_.reset();
    start_->setText("&Start");
}

} // namespace orvix
