#include "analysis/stat.h"

#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTextOption>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <memory>

#include "analysis/designsize.h"
#include "analysis/selectcases.h"
#include "analysis/statjob.h"
#include "analysis/tablemodel.h"
#include "document/orvixdoc.h"
#include "model/fieldtext.h"
#include "platform/text/qtext.h"
#include "platform/ui/objectname.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

// The library functions of the page's form: a table and a level in, a table out. The
// library's other exports take other arguments and must never be called this way.
const char* const kTableFunctions[] = {"anova"};
using TableFunction = CStatJob::TableFunction;

// The output list's tab stops, in quarters of its font's average character width: the
// result tables' columns line up at them.
constexpr int kOutputTabStop = 65;

// Draws each line with tab stops every `distance` pixels (Qt's own delegate keeps a fixed
// default) and measures it the same way, so the horizontal scroll reaches the widest line.
class CTabStopDelegate : public QStyledItemDelegate {
public:
    CTabStopDelegate(qreal distance, QObject* parent) : QStyledItemDelegate(parent), distance_(distance) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const QString text = opt.text;
        opt.text.clear();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        painter->save();
        painter->setFont(opt.font);
        painter->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                             : QPalette::Text));
        painter->drawText(QRectF(textRect), text, Option());
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        const int margin = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, opt.widget) + 1);
        // Whole pixels per tab stop, rounded up: the measure never falls short of the drawing.
        const QSizeF text = QFontMetricsF(opt.font).size(Qt::TextSingleLine | Qt::TextExpandTabs, opt.text,
                                                         static_cast<int>(std::ceil(distance_)));
        size.setWidth(static_cast<int>(std::ceil(text.width())) + margin);
        return size;
    }

private:
    QTextOption Option() const
    {
        QTextOption option(Qt::AlignLeft | Qt::AlignVCenter);
        option.setWrapMode(QTextOption::NoWrap);
        option.setTabStopDistance(distance_);
        return option;
    }

    qreal distance_;
};

int FindText(const QListWidget* list, const QString& text)
{
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text().compare(text, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

} // namespace

CStat::CStat(COrvixDoc* doc, HMODULE library, QWidget* parent) : QWidget(parent), doc_(doc), library_(library)
{
    setObjectName("Statistics");
    variables_ = Named(new QListWidget(this), IDC_VARIABLES);
    factorsList_ = Named(new QListWidget(this), IDC_FACTORS);
    output_ = Named(new QListWidget(this), IDC_OUTPUT);
    QFont fixed("DejaVu Sans Mono", 9);
    fixed.setStyleHint(QFont::Monospace);
    output_->setFont(fixed);
    output_->setItemDelegate(
        new CTabStopDelegate(QFontMetricsF(fixed).averageCharWidth() * kOutputTabStop / 4, output_));
    dependEdit_ = Named(new QLineEdit(this), IDC_DEPEND);
    dependEdit_->setReadOnly(true);
    levelEdit_ = Named(new QLineEdit("2", this), IDC_LEVEL);
    caseValue_ = Named(new QLineEdit(this), IDC_CASE_VALUE);
    function_ = Named(new QComboBox(this), IDC_FUNCTION);
    function_->setEditable(true);
    function_->setInsertPolicy(QComboBox::NoInsert);
    // The name is looked up as typed, letter case included: a completion would turn "ANOVA"
    // or "Anov" into "anova" and hide the mistake.
    function_->setCompleter(nullptr);
    function_->addItem("anova");
    function_->setCurrentIndex(0);
    caseColumn_ = Named(new QComboBox(this), IDC_CASE_COLUMN);
    operator_ = Named(new QComboBox(this), IDC_OPERATOR);
    for (const char* op : kCaseOperators)
        operator_->addItem(op);
    operator_->setCurrentIndex(0);
    cases_ = Named(new QCheckBox("Cases:", this), IDC_CASES);
    caseColumn_->setEnabled(false);
    operator_->setEnabled(false);
    caseValue_->setEnabled(false);

    auto* setDepend = Named(new QPushButton("Set Depend ->", this), IDC_SET_DEPEND);
    auto* addFactor = Named(new QPushButton("Add Factor ->", this), IDC_ADD_FACTOR);
    auto* remove = Named(new QPushButton("<- Remove", this), IDC_REMOVE);
    estimate_ = Named(new QPushButton("Estimate", this), IDC_ESTIMATE);
    cancel_ = Named(new QPushButton("Cancel", this), IDC_CANCEL);
    cancel_->setEnabled(false);
    // An estimate under way: a moving bar beside the buttons.
    busy_ = Named(new QProgressBar(this), IDC_BUSY);
    busy_->setRange(0, 0);
    busy_->setTextVisible(false);
    busy_->setVisible(false);
    connect(setDepend, &QPushButton::clicked, this, [this] { OnSetDepend(); });
    connect(addFactor, &QPushButton::clicked, this, [this] { OnAddFactor(); });
    connect(remove, &QPushButton::clicked, this, [this] { OnRemoveFactor(); });
    connect(estimate_, &QPushButton::clicked, this, [this] { OnEstimate(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { OnCancel(); });
    connect(cases_, &QCheckBox::clicked, this, [this] { OnCases(); });

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(setDepend);
    buttons->addWidget(addFactor);
    buttons->addWidget(remove);
    buttons->addStretch();
    auto* choice = new QVBoxLayout;
    choice->addWidget(dependEdit_);
    choice->addWidget(factorsList_);
    auto* condition = new QGridLayout;
    condition->addWidget(cases_, 0, 0);
    condition->addWidget(caseColumn_, 0, 1);
    condition->addWidget(operator_, 0, 2);
    condition->addWidget(caseValue_, 0, 3);
    condition->addWidget(new QLabel("Function:", this), 0, 4);
    condition->addWidget(function_, 0, 5);
    condition->addWidget(new QLabel("Level:", this), 1, 0);
    condition->addWidget(levelEdit_, 1, 1);
    condition->addWidget(busy_, 1, 2, 1, 2);
    condition->addWidget(cancel_, 1, 4);
    condition->addWidget(estimate_, 1, 5);
    condition->setRowStretch(2, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addLayout(buttons);
    bottom->addLayout(choice);
    bottom->addLayout(condition, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(output_, 1);
    right->addLayout(bottom);
    auto* layout = new QHBoxLayout(this);
    variables_->setMaximumWidth(180);
    layout->addWidget(variables_);
    layout->addLayout(right, 1);
    UpdateVariableLists(-1);
}

void CStat::UpdateVariableLists(int)
{
    variables_->clear();
    QString caseText = caseColumn_->currentText();
    caseColumn_->clear();
    const CTableModel& table = doc_->trialTable;
    for (int c = 0; c < table.GetColumnCount(); ++c) {
        QString name = ToQ(table.GetColumnName(c));
        variables_->addItem(name);
        caseColumn_->addItem(name);
    }
    caseColumn_->setCurrentIndex(-1);
    // Every name begins with the empty text; a column nobody chose is not chosen for the user.
    if (!caseText.isEmpty())
        for (int i = 0; i < caseColumn_->count(); ++i)
            if (caseColumn_->itemText(i).startsWith(caseText, Qt::CaseInsensitive)) {
                caseColumn_->setCurrentIndex(i);
                break;
            }
    QStringList previous;
    for (int i = 0; i < factorsList_->count(); ++i)
        previous << factorsList_->item(i)->text();
    factorsList_->clear();
    factors_.clear();
    for (const QString& text : previous) {
        int found = FindText(variables_, text);
        if (found >= 0) {
            factorsList_->addItem(text);
            factors_.push_back(found);
        }
    }
    output_->clear();
    if (!dependEdit_->text().isEmpty()) {
        depend_ = FindText(variables_, dependEdit_->text());
        if (depend_ < 0)
            dependEdit_->clear();
    }
}

void CStat::OnSetDepend()
{
    depend_ = variables_->currentRow();
    if (depend_ >= 0)
        dependEdit_->setText(variables_->item(depend_)->text());
}

void CStat::OnAddFactor()
{
    int i = variables_->currentRow();
    if (i < 0 || i == depend_ || std::find(factors_.begin(), factors_.end(), i) != factors_.end())
        return;
    factors_.push_back(i);
    factorsList_->addItem(variables_->item(i)->text());
}

void CStat::OnRemoveFactor()
{
    int i = factorsList_->currentRow();
    if (i < 0)
        return;
    delete factorsList_->takeItem(i);
    if (i < static_cast<int>(factors_.size()))
        factors_.erase(factors_.begin() + i);
}

void CStat::OnCases()
{
    bool on = cases_->isChecked();
    caseColumn_->setEnabled(on);
    operator_->setEnabled(on);
    caseValue_->setEnabled(on);
}

void CStat::ReadLevel()
{
    bool ok = false;
    int level = levelEdit_->text().trimmed().toInt(&ok);
    if (ok)
        level_ = level;
    else
        MessageBox("Please enter an integer.");
}

bool CStat::SelectCases(CTableModel& table)
{
    int column = caseColumn_->currentIndex();
    int op = operator_->currentIndex();
    std::string value;
    if (!TakeField(*caseValue_, value, "the case value"))
        return false;
    if (column < 0 || op < 0 || value.empty()) {
        MessageBox("Equation for selecting cases is invalid!");
        return false;
    }
    SelectCaseRows(table, column, op, value);
    return true;
}

void CStat::AddOutput(const std::string& line) { output_->addItem(ToQ(line)); }

void CStat::OnEstimate()
{
    if (job_)
        return;  // one estimate at a time (the button is disabled meanwhile)
    ReadLevel();
    int factorCount = static_cast<int>(factors_.size());
    if (level_ < 1)
        level_ = 1;
    if (level_ > factorCount)
        level_ = factorCount;
    const CTableModel& table = doc_->trialTable;
    const int columns = table.GetColumnCount();
    if (columns == 0 || table.GetRowCount() == 0)
        return;
    if (depend_ < 0 || depend_ >= columns || table.GetColumnType(depend_) == TABLE_TEXT) {
        MessageBox("Invalid dependent variable.");
        return;
    }
    if (factors_.empty()
        || std::any_of(factors_.begin(), factors_.end(), [&](int f) { return f < 0 || f >= columns; })) {
        MessageBox("Invalid factors.");
        return;
    }
    std::string name;
    if (!TakeField(*function_->lineEdit(), name, "the Function box"))
        return;
    TableFunction function = nullptr;
    for (const char* known : kTableFunctions)
        if (name == known && library_)
            function = reinterpret_cast<TableFunction>(GetProcAddress(library_, known));
    if (!function) {
        AddOutput("Function \"" + name + "\" not found.");
        return;
    }
    if (function_->findText(ToQ(name), Qt::MatchFixedString) < 0) {
        function_->addItem(ToQ(name));
        function_->model()->sort(0);
    }
    std::vector<int> columnList{depend_};
    columnList.insert(columnList.end(), factors_.begin(), factors_.end());
    auto copy = std::make_unique<CTableModel>(table);
    if (cases_->isChecked() && !SelectCases(*copy))
        return;
    auto selection = std::make_unique<CTableModel>(*copy, columnList, false);
    // Every function of the table form is an analysis of variance: what it could not
    // finish in reasonable time is refused before it starts.
    std::string refusal = RefuseDesign(*selection, MeasureDesign(*selection, level_), level_);
    if (!refusal.empty()) {
        MessageBox(refusal);
        return;
    }
    casesLine_.clear();
    if (cases_->isChecked())
        casesLine_ = std::string("Cases selected by: ") + table.GetColumnName(caseColumn_->currentIndex())
                     + FromShown(operator_->currentText()) + FromShown(caseValue_->text());
    job_ = new CStatJob(function, std::move(copy), std::move(selection), level_, this);
    connect(job_, &CStatJob::finished, this, [this] { OnAnalysisDone(); });
    ShowBusy(true);
    job_->Start();
}

void CStat::OnAnalysisDone()
{
    if (!job_)
        return;
    bool follow = output_->currentRow() < 0 || output_->currentRow() == output_->count() - 1;
    if (!casesLine_.empty())
        AddOutput(casesLine_);
    for (const std::string& line : job_->Lines())
        AddOutput(line);
    AddOutput("");
    if (follow)
        output_->setCurrentRow(output_->count() - 1);
    EndJob();
}

void CStat::OnCancel()
{
    if (!job_)
        return;
    // The library cannot be stopped: a call under way finishes in the background and its
    // result is dropped; the next estimate waits for it.
    job_->Cancel();
    bool follow = output_->currentRow() < 0 || output_->currentRow() == output_->count() - 1;
    AddOutput("Estimate cancelled.");
    if (follow)
        output_->setCurrentRow(output_->count() - 1);
    EndJob();
}

void CStat::EndJob()
{
    job_->deleteLater();
    job_ = nullptr;
    ShowBusy(false);
}

void CStat::ShowBusy(bool busy)
{
    estimate_->setEnabled(!busy);
    cancel_->setEnabled(busy);
    busy_->setVisible(busy);
}

std::vector<std::string> CStat::OutputLines() const
{
    std::vector<std::string> lines;
    for (int i = 0; i < output_->count(); ++i)
        lines.push_back(FromShown(output_->item(i)->text()));
    return lines;
}

} // namespace orvix
