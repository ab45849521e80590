#include "panel/electrode.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QBoxLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <algorithm>

#include "document/orvixdoc.h"
#include "platform/text/numbers.h"
#include "platform/text/qtext.h"
#include "platform/ui/objectname.h"

namespace orvix {

CElectrode::CElectrode(COrvixDoc* doc, QWidget* parent) : QWidget(parent), doc_(doc)
{
    setObjectName("Electrode");
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Spike channels", this), 0, 1, 1, 8);
    grid->addWidget(new QLabel("Main channel:", this), 2, 0);
    grid->addWidget(new QLabel("Active channels:", this), 3, 0);
    for (int e = 0; e < 8; ++e)
        grid->addWidget(new QLabel(QString::number(e + 1), this), 4 + e, 0);
    grid->addWidget(new QLabel("Cell ID:", this), 12, 0);
    mainGroup_ = new QButtonGroup(this);
    for (int c = 0; c < 8; ++c) {
        grid->addWidget(new QLabel(QString::number(c + 1), this), 1, c + 1);
        auto* main = Named(new QRadioButton(this), IDC_MAIN_1 + c);
        mainGroup_->addButton(main, c);
        grid->addWidget(main, 2, c + 1);
        activeChecks_[c] = Named(new QCheckBox(this), IDC_ACTIVE_1 + c);
        grid->addWidget(activeChecks_[c], 3, c + 1);
        connect(activeChecks_[c], &QCheckBox::clicked, this, [this, c] { OnActiveChannel(c); });
        electrodeGroups_[c] = new QButtonGroup(this);
        for (int e = 0; e < 8; ++e) {
            auto* radio = Named(new QRadioButton(this), IDC_ELECTRODE_FIRST + 8 * c + e);
            electrodeGroups_[c]->addButton(radio, e);
            grid->addWidget(radio, 4 + e, c + 1);
        }
        connect(electrodeGroups_[c], &QButtonGroup::idClicked, this, [this, c] { OnSelectElectrode(c); });
        // The spin shows the cell number and cannot leave 1..26, by arrows or keys.
        cellSpins_[c] = Named(new QSpinBox(this), IDC_CELL_SPIN_1 + c);
        cellSpins_[c]->setRange(1, kMaxCellId);
        grid->addWidget(cellSpins_[c], 12, c + 1);
        connect(cellSpins_[c], &QSpinBox::valueChanged, this, [this, c](int value) {
            OnCellIdSpin(c, doc_->cellIds[static_cast<size_t>(c)] - value);
        });
    }
    connect(mainGroup_, &QButtonGroup::idClicked, this, [this] { OnSelectMainChannel(); });

    auto* depthBox = new QGroupBox("Electrode depth", this);
    auto* depthGrid = new QGridLayout(depthBox);
    for (int e = 0; e < 8; ++e) {
        depthEdits_[e] = Named(new QLineEdit(depthBox), IDC_DEPTH_1 + e);
        // Depths are 16-bit in the document: larger numbers are not accepted.
        depthEdits_[e]->setValidator(new QIntValidator(-32768, 32767, depthEdits_[e]));
        depthGrid->addWidget(new QLabel(QString::number(e + 1), depthBox), e, 0);
        depthGrid->addWidget(depthEdits_[e], e, 1);
    }
    auto* apply = Named(new QPushButton("Apply", this), IDC_APPLY);
    connect(apply, &QPushButton::clicked, this, [this] { OnApply(); });
    depthGrid->addWidget(apply, 8, 0, 1, 2);

    auto* left = new QVBoxLayout;
    left->addLayout(grid);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(depthBox);
    right->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(right);
    UpdateFromDoc(-1);
}

void CElectrode::UpdateFromDoc(int channel)
{
    for (int c = 0; c < 8; ++c) {
        if (channel >= 0 && c != channel)
            continue;
        size_t i = static_cast<size_t>(c);
        depths_[i] = doc_->depths[i];
        active_[i] = (doc_->activeChannels >> c) & 1;
        electrode_[i] = doc_->gridChoices[i];
        ShowChannel(c);
    }
    mainChannel_ = doc_->mainChannel;
    QSignalBlocker block(mainGroup_);
    if (QAbstractButton* b = mainGroup_->button(mainChannel_))
        b->setChecked(true);
}

void CElectrode::ShowChannel(int c)
{
    size_t i = static_cast<size_t>(c);
    depthEdits_[i]->setText(QString::number(depths_[i]));
    activeChecks_[i]->setChecked(active_[i] != 0);
    if (QAbstractButton* b = electrodeGroups_[i]->button(electrode_[i]))
        b->setChecked(true);
    QSignalBlocker block(cellSpins_[i]);
    cellSpins_[i]->setValue(std::clamp<int>(doc_->cellIds[i], 1, kMaxCellId));
}

void CElectrode::ReadControls()
{
    for (size_t i = 0; i < 8; ++i) {
        // The field's validator lets only a number in.
        depths_[i] = std::clamp(ParseInt(FromShown(depthEdits_[i]->text())), -32768, 32767);
        active_[i] = activeChecks_[i]->isChecked() ? 1 : 0;
        int e = electrodeGroups_[i]->checkedId();
        if (e >= 0)
            electrode_[i] = e;
    }
    int m = mainGroup_->checkedId();
    if (m >= 0)
        mainChannel_ = m;
}

void CElectrode::OnApply()
{
    ReadControls();
    for (size_t i = 0; i < 8; ++i)
        doc_->depths[i] = static_cast<int16_t>(depths_[i]);
}

void CElectrode::OnSelectElectrode(int c)
{
    ReadControls();
    doc_->gridChoices[static_cast<size_t>(c)] = static_cast<uint8_t>(electrode_[static_cast<size_t>(c)]);
    doc_->UpdateChannelDisplay(c);
    if (doc_->mainChannel == c)
        doc_->UpdateDataFileName();
}

void CElectrode::OnSelectMainChannel()
{
    ReadControls();
    int old = doc_->mainChannel;
    doc_->mainChannel = mainChannel_;
    doc_->UpdateChannelDisplay(mainChannel_);
    doc_->UpdateChannelDisplay(old);
    doc_->UpdateDataFileName();
}

void CElectrode::OnActiveChannel(int c)
{
    ReadControls();
    if (active_[static_cast<size_t>(c)])
        doc_->activeChannels = static_cast<uint8_t>(doc_->activeChannels | (1u << c));
    else
        doc_->activeChannels = static_cast<uint8_t>(doc_->activeChannels & ~(1u << c));
    doc_->UpdateChannelDisplay(c);
}

void CElectrode::OnCellIdSpin(int c, int delta)
{
    if (c < 0 || c >= 8)
        return;
    auto& cell = doc_->cellIds[static_cast<size_t>(c)];
    // Wide arithmetic and a clamp: no delta can wrap the id out of 1..26.
    cell = static_cast<int16_t>(std::clamp(static_cast<int>(cell) - delta, 1, kMaxCellId));
    if (doc_->mainChannel == c)
        doc_->UpdateDataFileName();
    doc_->UpdateChannelDisplay(c);
}

} // namespace orvix
