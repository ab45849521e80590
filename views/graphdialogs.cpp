#include "views/graphdialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "document/graphproperties.h"
#include "document/orvixdoc.h"
#include "platform/text/numbers.h"
#include "platform/text/qtext.h"
#include "platform/ui/ui.h"
#include "views/graphview.h"

namespace orvix {

namespace {

constexpr int kDefaultLatency = 70;

} // namespace

// ---- Reverse Correlation ----

CRevCorrDlg::CRevCorrDlg(int latency, int duration, float minimum, float maximum, bool subtract, CGraphView* view)
    : QDialog(view), latency(latency), duration(duration), maximum(maximum), minimum(minimum), subtract(subtract),
      view_(view), latencySpin_(new QSpinBox(this)), durationSpin_(new QSpinBox(this)),
      maximumEdit_(new QLineEdit(this)), minimumEdit_(new QLineEdit(this)),
      subtractCheck_(new QCheckBox("Subtract", this))
{
    setWindowTitle("Reverse Correlation");
    setAttribute(Qt::WA_DeleteOnClose);
    latencySpin_->setObjectName("edit1330");
    durationSpin_->setObjectName("edit1329");
    maximumEdit_->setObjectName("edit1331");
    minimumEdit_->setObjectName("edit1332");
    subtractCheck_->setObjectName("check1333");
    latencySpin_->setRange(0, 200);
    // The spin runs 1..100 ms; a figure shown longer keeps its duration until the spin moves.
    durationSpin_->setRange(1, std::max(100, duration));
    for (QSpinBox* spin : {latencySpin_, durationSpin_})
        spin->setKeyboardTracking(false);
    latencySpin_->setValue(latency);
    durationSpin_->setValue(duration);
    maximumEdit_->setText(ToQ(FormatPageNumber(maximum)));
    minimumEdit_->setText(ToQ(FormatPageNumber(minimum)));
    subtractCheck_->setChecked(subtract);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Latency (ms):", this), 0, 0);
    grid->addWidget(latencySpin_, 0, 1);
    grid->addWidget(new QLabel("Duration (ms):", this), 1, 0);
    grid->addWidget(durationSpin_, 1, 1);
    grid->addWidget(new QLabel("Maximum:", this), 2, 0);
    grid->addWidget(maximumEdit_, 2, 1);
    grid->addWidget(new QLabel("Minium:", this), 3, 0);
    grid->addWidget(minimumEdit_, 3, 1);
    grid->addWidget(subtractCheck_, 4, 0, 1, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CRevCorrDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CRevCorrDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);

    connect(latencySpin_, &QSpinBox::valueChanged, this, &CRevCorrDlg::OnSpin);
    connect(durationSpin_, &QSpinBox::valueChanged, this, &CRevCorrDlg::OnSpin);
    connect(subtractCheck_, &QCheckBox::clicked, this, &CRevCorrDlg::OnSubtract);
}

bool CRevCorrDlg::Exchange()
{
    float max = 0, min = 0;
    // A letter the code page cannot hold makes a text no number.
    if (!ParsePageNumber(FromShown(maximumEdit_->text()), max)) {
        MessageBox("Please enter a number.");
        maximumEdit_->setFocus();
        return false;
    }
    if (!ParsePageNumber(FromShown(minimumEdit_->text()), min)) {
        MessageBox("Please enter a number.");
        minimumEdit_->setFocus();
        return false;
    }
    latency = latencySpin_->value();
    duration = durationSpin_->value();
    maximum = max;
    minimum = min;
    subtract = subtractCheck_->isChecked();
    return true;
}

void CRevCorrDlg::accept()
{
    if (!Exchange())
        return;
    view_->Document().plot.revCorrLatency = latency;
    view_->OnRevCorrChanged(latency, duration, minimum, maximum, false);
}

void CRevCorrDlg::OnSpin()
{
    const float oldMaximum = maximum, oldMinimum = minimum;
    if (!Exchange())
        return;
    view_->Document().plot.revCorrLatency = latency;
    view_->OnRevCorrChanged(latency, duration, minimum, maximum, minimum == oldMinimum && maximum == oldMaximum);
}

void CRevCorrDlg::OnSubtract()
{
    if (!Exchange())
        return;
    view_->Document().plot.revCorrSubtract = subtract ? 1 : 0;
    view_->OnRevCorrChanged(latency, duration, minimum, maximum, false);
}

void CRevCorrDlg::reject()
{
    view_->Document().plot.revCorrLatency = kDefaultLatency;
    QDialog::reject();
    deleteLater();
}

// ---- Set selection ----

CSetSelectionDlg::CSetSelectionDlg(const std::vector<CParam>* candidates, std::vector<CParam>* list1,
                                   std::vector<CParam>* list2, QWidget* parent)
    : QDialog(parent), candidates_(candidates), list1_(list1), list2_(list2), first_(new QListWidget(this)),
      second_(new QListWidget(this))
{
    setWindowTitle("Set selection");
    first_->setObjectName("list1079");
    second_->setObjectName("list1080");
    for (QListWidget* list : {first_, second_}) {
        list->setSelectionMode(QAbstractItemView::MultiSelection);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }
    // One line per candidate in both lists, selected where the lists hold it.
    for (const CParam& c : *candidates_) {
        CParam candidate(c);
        const QString line = ToQ(candidate.GetName() + "=" + candidate.GetText());
        auto* a = new QListWidgetItem(line, first_);
        auto* b = new QListWidgetItem(line, second_);
        auto holds = [&](const std::vector<CParam>& list) {
            return std::any_of(list.begin(), list.end(), [&](const CParam& e) { return candidate == e; });
        };
        a->setSelected(holds(*list1_));
        b->setSelected(holds(*list2_));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSetSelectionDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSetSelectionDlg::reject);
    auto* lists = new QHBoxLayout;
    for (auto [list, title] : {std::pair{first_, "All of:"}, std::pair{second_, "Or all of:"}}) {
        auto* column = new QVBoxLayout;
        column->addWidget(new QLabel(title, this));
        column->addWidget(list);
        lists->addLayout(column);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists);
    layout->addWidget(buttons);
}

void CSetSelectionDlg::accept()
{
    auto take = [this](QListWidget* list, std::vector<CParam>& target) {
        target.clear();
        for (int j = 0; j < list->count() && j < static_cast<int>(candidates_->size()); ++j)
            if (list->item(j)->isSelected())
                target.push_back((*candidates_)[static_cast<size_t>(j)]);
    };
    take(first_, *list1_);
    take(second_, *list2_);
    emit selectionFinished(true);
}

void CSetSelectionDlg::reject() { emit selectionFinished(false); }

// ---- Switch RIDGE ----

CSwitchRidgeDlg::CSwitchRidgeDlg(int sources, QWidget* parent) : QDialog(parent), combo_(new QComboBox(this))
{
    setWindowTitle("Switch RIDGE 0 & 14");
    combo_->setObjectName("combo1327");
    for (int i = 1; i <= sources; ++i)
        combo_->addItem(ToQ(Format("in=%d", i)));
    combo_->setCurrentIndex(-1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSwitchRidgeDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Source to switch:", this));
    layout->addWidget(combo_);
    layout->addWidget(buttons);
}

void CSwitchRidgeDlg::accept()
{
    choice = combo_->currentIndex();
    QDialog::accept();
}

} // namespace orvix
