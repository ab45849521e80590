#include "panel/parampages.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "document/orvixdoc.h"
#include "model/fieldtext.h"
#include "model/inputstringdlg.h"
#include "panel/lines.h"
#include "panel/paramlist.h"
#include "platform/text/qtext.h"
#include "platform/ui/objectname.h"
#include "platform/ui/ui.h"
#include "runner/taskrunner.h"

namespace orvix {

CParamPage::CParamPage(COrvixDoc* doc, int kind, int separatorWidth, int columnWidth, QWidget* parent)
    : QWidget(parent), doc_(doc), kind_(kind), separatorWidth_(separatorWidth), columnWidth_(columnWidth)
{
    valueEdit_ = Named(new QLineEdit(this), IDC_VALUE);
    initList_ = Named(new QListWidget(this), IDC_INIT_LIST);
    paramList_ = Named(new QListWidget(this), IDC_PARAM_LIST);
    addInit_ = Named(new QPushButton("&Add to init param", this), IDC_ADD_INIT);
    delInit_ = Named(new QPushButton("&Del init param", this), IDC_DEL_INIT);
    // Lines flow into columns, as a multi-column list box does.
    paramList_->setFlow(QListView::TopToBottom);
    paramList_->setWrapping(true);
    paramList_->setResizeMode(QListView::Adjust);
    paramList_->setTextElideMode(Qt::ElideNone);
    paramList_->setItemDelegate(lines_ = new CParamLineDelegate(paramList_));

    auto* left = new QVBoxLayout;
    left->setObjectName("leftColumn");
    left->addWidget(valueEdit_);
    left->addWidget(new QLabel("Initial test parameters:", this));
    left->addWidget(initList_);
    left->addWidget(addInit_);
    left->addWidget(delInit_);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addWidget(paramList_, 3);

    connect(paramList_, &QListWidget::currentRowChanged, this, [this] { OnSelChangeParamList(); });
    connect(addInit_, &QPushButton::clicked, this, [this] { OnAddInitParam(); });
    connect(delInit_, &QPushButton::clicked, this, [this] { OnDelInitParam(); });
    valueEdit_->installEventFilter(this);
    paramList_->installEventFilter(this);
}

int CParamPage::ParamCount() const { return doc_->Table(kind_).Count(); }

CParam& CParamPage::Param(int i) const { return kind_ == KIND_GRAPH ? doc_->GetGraphParam(i) : doc_->GetBehavParam(i); }

int CParamPage::SelectedRow() const
{
    int row = paramList_->currentRow();
    if (row < 0 || !paramList_->item(row) || !paramList_->item(row)->isSelected())
        return -1;
    return row;
}

void CParamPage::UpdateList(int index)
{
    if (index >= 0) {
        if (index >= ParamCount())
            return;
        int selected = SelectedRow();
        QSignalBlocker block(paramList_);
        if (index < paramList_->count())
            delete paramList_->takeItem(index);
        int at = std::min(index, paramList_->count());
        paramList_->insertItem(at, ToQ(ParamLine(Param(index))));
        if (selected == index) {
            paramList_->setCurrentRow(at);
            OnSelChangeParamList();
        }
        lines_->Fit(*paramList_, columnWidth_);
        return;
    }
    {
        QSignalBlocker block(paramList_);
        paramList_->clear();
        for (int i = 0; i < ParamCount(); ++i) {
            CParam& p = Param(i);
            paramList_->addItem(ToQ(IsSeparator(p) ? SeparatorLine(separatorWidth_) : ParamLine(p)));
        }
        if (paramList_->count() > 0) {
            paramList_->setCurrentRow(0);
            valueText_ = LineValue(FromShown(paramList_->item(0)->text()));
            valueEdit_->setText(ToQ(valueText_));
        }
        lines_->Fit(*paramList_, columnWidth_);
    }
    initList_->clear();
    for (int i = 0; i < doc_->GetInitParamCount(kind_); ++i)
        initList_->addItem(ToQ(doc_->GetInitParam(kind_, i).GetName()));
}

void CParamPage::OnSelChangeParamList()
{
    int row = SelectedRow();
    valueText_ = row >= 0 ? LineValue(FromShown(paramList_->item(row)->text())) : std::string();
    valueEdit_->setText(ToQ(valueText_));
}

void CParamPage::ReplaceLine(int row, const std::string& name, const std::string& value)
{
    int k = std::max(0, 13 - static_cast<int>(name.size()));
    std::string line = name + std::string(static_cast<size_t>(k + k / 3), ' ') + '\t' + value;
    QSignalBlocker block(paramList_);
    delete paramList_->takeItem(row);
    paramList_->insertItem(row, ToQ(line));
    lines_->Fit(*paramList_, columnWidth_);
    paramList_->setCurrentRow(row);
    valueEdit_->setText(ToQ(valueText_));
    paramList_->setFocus();
}

void CParamPage::OnAddInitParam()
{
    int row = SelectedRow();
    if (row < 0 || row >= ParamCount() || IsSeparator(Param(row))) {
        FocusAfterRefusedAdd();
        return;
    }
    CParam saved(Param(row));
    if (!ApplyValue())
        return;
    if (doc_->AddInitParam(kind_, saved, Param(row)))
        initList_->addItem(ToQ(Param(row).GetName()));
    paramList_->setFocus();
}

void CParamPage::OnDelInitParam()
{
    int row = initList_->currentRow();
    if (row >= 0 && initList_->item(row)->isSelected()) {
        doc_->RemoveInitParam(kind_, row);
        delete initList_->takeItem(row);
    }
    paramList_->setFocus();
}

bool CParamPage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == valueEdit_) {
                if (ApplyValue())
                    paramList_->setFocus();
                return true;
            }
            if (watched == paramList_) {
                valueEdit_->setFocus();
                valueEdit_->selectAll();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

CParamPage::Edit CParamPage::TakeEditedValue()
{
    Edit edit;
    int row = SelectedRow();
    if (row < 0 || row >= ParamCount()) {
        valueText_.clear();
        valueEdit_->clear();
        paramList_->setFocus();
        return edit;
    }
    CParam& param = Param(row);
    const std::string line = FromShown(paramList_->item(row)->text());
    if (IsSeparator(param)) {
        paramList_->setFocus();
        return edit;
    }
    // A letter the code page cannot hold: the parameter keeps its value, the edit the text.
    if (!TakeField(*valueEdit_, valueText_, "the value of " + LineName(line))) {
        edit.refused = true;
        return edit;
    }
    if (valueText_ == ".") {
        paramList_->setFocus();
        return edit;
    }
    edit.param = &param;
    edit.row = row;
    edit.oldValue = LineValue(line);
    edit.name = LineName(line);
    return edit;
}

void CParamPage::AddButton(const char* text, int id, int position, std::function<void()> onClick)
{
    auto* button = Named(new QPushButton(text, this), id);
    findChild<QVBoxLayout*>("leftColumn")->insertWidget(position, button);
    connect(button, &QPushButton::clicked, this, std::move(onClick));
}

// ---- Graph parameters ----

CGraphParam::CGraphParam(COrvixDoc* doc, QWidget* parent) : CParamPage(doc, KIND_GRAPH, 26, 160, parent)
{
    setObjectName("GraphParam");
    AddButton("&XY to HV", IDC_XY_TO_HV, 1, [this] { OnXYToHV(); });
    UpdateList(-1);
}

void CGraphParam::FocusAfterRefusedAdd() { valueEdit_->setFocus(); }

bool CGraphParam::ApplyValue()
{
    Edit edit = TakeEditedValue();
    if (!edit.param)
        return !edit.refused;
    *edit.param = valueText_.c_str();
    doc_->SendGraphParam(edit.row);
    if (valueText_ == edit.oldValue) {
        paramList_->setFocus();
        return true;
    }
    if (edit.name == doc_->GetBehavParam("FPParamH", CParam("", "TPOSH")).GetText()
        || edit.name == doc_->GetBehavParam("FPParamV", CParam("", "TPOSV")).GetText())
        doc_->UpdateAllViews(nullptr, HINT_PARAMS_RELOADED);
    ReplaceLine(edit.row, edit.name, valueText_);
    return true;
}

void CGraphParam::OnXYToHV()
{
    int ix = doc_->FindGraphParam("POSX"), iy = doc_->FindGraphParam("POSY");
    int ih = doc_->FindGraphParam("POSH"), iv = doc_->FindGraphParam("POSV");
    if (ix < 0 || iy < 0 || ih < 0 || iv < 0)
        return;
    float x = static_cast<float>(doc_->GetGraphParam(ix).GetDouble());
    float y = static_cast<float>(doc_->GetGraphParam(iy).GetDouble());
    float a = static_cast<float>(doc_->GetGraphParam("OR").GetDouble()) * 0.017453292f;
    float dh = static_cast<float>(std::floor((x * std::cos(a) - y * std::sin(a)) * 10 + 0.5) * 0.1);
    float dv = static_cast<float>(std::floor((x * std::sin(a) + y * std::cos(a)) * 10 + 0.5) * 0.1);
    doc_->GetGraphParam(ih) += dh;
    doc_->GetGraphParam(iv) += dv;
    doc_->GetGraphParam(ix) = 0;
    doc_->GetGraphParam(iy) = 0;
    for (int i : {ih, iv, ix, iy})
        UpdateList(i);
    for (int i : {ih, iv, ix, iy})
        doc_->SendGraphParam(i);
    for (int i : {ih, iv, ix, iy})
        doc_->UpdateGraphParamItem(i);
    paramList_->setFocus();
}

// ---- Behaviour parameters ----

CBehavParam::CBehavParam(COrvixDoc* doc, CTaskRunner& runner, QWidget* parent)
    : CParamPage(doc, KIND_BEHAV, 34, 210, parent), runner_(runner)
{
    setObjectName("BehavParam");
    AddButton("Add behav param", IDC_ADD_BEHAV, 1, [this] { OnAddBehavParam(); });
    AddButton("Del behav Param", IDC_DEL_BEHAV, 2, [this] { OnDelBehavParam(); });
    UpdateList(-1);
}

void CBehavParam::FocusAfterRefusedAdd() { paramList_->setFocus(); }

bool CBehavParam::ApplyValue()
{
    Edit edit = TakeEditedValue();
    if (!edit.param)
        return !edit.refused;
    if (valueText_ == edit.oldValue) {
        paramList_->setFocus();
        return true;
    }
    *edit.param = valueText_.c_str();
    const std::string& name = edit.name;
    int row = edit.row;
    if (name == "SubjectName" || name == "HoleNum" || name == "PosNum" || name == "DataPath") {
        doc_->UpdateDataFileName();
    } else if (name == "TaskType") {
        runner_.LoadParameters(doc_);
    } else if (name == "AnalysisTime") {
        doc_->RecomputeChannelRates();
        doc_->UpdateAllViews(nullptr, HINT_REBUILD);
        doc_->UpdateChannelRates(nullptr);
    } else if (name == "FPParamH" || name == "FPParamV" || name == "FPUpdate") {
        doc_->UpdateAllViews(nullptr, HINT_PARAMS_RELOADED);
    } else if (name == "Param2ShowX" || name == "Param2ShowY" || name == "Param2ShowZ") {
        doc_->UpdateAllViews(nullptr, HINT_AXES);
    }
    // The actions above may have rebuilt the list; the row still names the same parameter.
    if (row < paramList_->count())
        ReplaceLine(row, name, valueText_);
    return true;
}

void CBehavParam::OnAddBehavParam()
{
    CInputStringDlg dlg(this);
    if (UI().RunModal(dlg) == IDOK && !dlg.IsEmpty()) {
        if (IsValidIdentifier(dlg.GetString().c_str()))
            doc_->GetBehavParam(dlg.GetString().c_str(), CParam("", 0));
        else
            MessageBox("Parameter name should begin with an alphabetic character or underscore.\n"
                       "Rest of the characters can also be numbers.");
    }
    paramList_->setFocus();
}

void CBehavParam::OnDelBehavParam()
{
    int row = SelectedRow();
    if (row >= 0 && row < ParamCount() && !IsSeparator(Param(row)))
        doc_->RemoveBehavParam(row);
    paramList_->setFocus();
}

} // namespace orvix
