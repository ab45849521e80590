#include "views/graphpages.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "model/fieldtext.h"
#include "platform/text/numbers.h"
#include "platform/text/qtext.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

QString Number(float v) { return ToQ(FormatPageNumber(v)); }
QString Integer(int v) { return ToQ(FormatInt(v)); }

QGridLayout* Grid(QWidget* page)
{
    auto* grid = qobject_cast<QGridLayout*>(page->layout());
    return grid ? grid : new QGridLayout(page);
}

} // namespace

// ---- Fields ----

QLineEdit* CGraphPage::Edit(int id) const { return findChild<QLineEdit*>("edit" + QString::number(id)); }

QLineEdit* CGraphPage::AddEdit(int id, const char* label, int row, int column, QGridLayout* grid)
{
    if (!grid)
        grid = Grid(this);
    QWidget* owner = grid->parentWidget();
    auto* edit = new QLineEdit(owner);
    edit->setObjectName("edit" + QString::number(id));
    grid->addWidget(new QLabel(label, owner), row, column * 2);
    grid->addWidget(edit, row, column * 2 + 1);
    return edit;
}

QGridLayout* CGraphPage::AddGroup(const char* title, int row, int column, int columnSpan)
{
    auto* group = new QGroupBox(title, this);
    Grid(this)->addWidget(group, row, column, 1, columnSpan);
    return new QGridLayout(group);
}

bool CGraphPage::ReadNumber(int id, float& value)
{
    if (ParsePageNumber(FromShown(Edit(id)->text()), value))
        return true;
    MessageBox("Please enter a number.");
    Edit(id)->setFocus();
    Edit(id)->selectAll();
    return false;
}

bool CGraphPage::ReadInteger(int id, int32_t& value, int low, int high, bool ranged)
{
    int32_t v = 0;
    if (!ParsePageInteger(FromShown(Edit(id)->text()), v) || (ranged && (v < low || v > high))) {
        MessageBox(ranged ? Format("Please enter an integer between %d and %d.", low, high) : "Please enter an integer.");
        Edit(id)->setFocus();
        Edit(id)->selectAll();
        return false;
    }
    value = v;
    return true;
}

bool CGraphPage::ReadText(int id, std::string& value, const char* field)
{
    return TakeField(*Edit(id), value, field);
}

// ---- Figure ----

CFigurePage::CFigurePage(const FigurePageValues& v, QWidget* parent) : CGraphPage(parent)
{
    setObjectName("Figure");
    AddEdit(1047, "Figure Width (mm):", 0)->setText(Number(v.figureWidth));
    AddEdit(1048, "Figure Height (mm):", 0, 1)->setText(Number(v.figureHeight));
    AddEdit(1039, "Left Margin (mm):", 1)->setText(Number(v.leftMargin));
    AddEdit(1040, "Right Margin (mm):", 1, 1)->setText(Number(v.rightMargin));
    AddEdit(1037, "Top Margin (mm):", 2)->setText(Number(v.topMargin));
    AddEdit(1038, "Bottom Margin (mm):", 2, 1)->setText(Number(v.bottomMargin));
    AddEdit(1105, "Err Bar Len (mm):", 3)->setText(Number(v.errorBarLength));
    AddEdit(1110, "Grid Length (mm):", 3, 1)->setText(Number(v.gridLength));
    AddEdit(1118, "Pen Width (mm):", 4)->setText(Number(v.penWidth));
    QGridLayout* colour = AddGroup("Bar color", 5);
    AddEdit(1138, "Red:", 0, 0, colour)->setText(Integer(v.red));
    AddEdit(1139, "Green:", 0, 1, colour)->setText(Integer(v.green));
    AddEdit(1140, "Blue:", 0, 2, colour)->setText(Integer(v.blue));
    QGridLayout* smoother = AddGroup("Gaussian Smoother", 6);
    AddEdit(1200, "Sigma (in steps):", 0, 0, smoother)->setText(Number(v.sigma));
    Grid(this)->setRowStretch(7, 1);
}

bool CFigurePage::Exchange(GraphProperties& values)
{
    FigurePageValues f = values.figure;
    int32_t red = 0, green = 0, blue = 0;
    if (!ReadNumber(1038, f.bottomMargin) || !ReadNumber(1047, f.figureWidth) || !ReadNumber(1039, f.leftMargin)
        || !ReadNumber(1040, f.rightMargin) || !ReadNumber(1037, f.topMargin) || !ReadNumber(1048, f.figureHeight)
        || !ReadNumber(1105, f.errorBarLength) || !ReadNumber(1110, f.gridLength) || !ReadNumber(1118, f.penWidth)
        || !ReadInteger(1140, blue, 0, 255, true) || !ReadInteger(1139, green, 0, 255, true)
        || !ReadInteger(1138, red, 0, 255, true) || !ReadNumber(1200, f.sigma))
        return false;
    if (f.sigma < kMinSigma || f.sigma > kMaxSigma) {
        MessageBox("Please enter a number between 0.1 and 100.");
        Edit(1200)->setFocus();
        Edit(1200)->selectAll();
        return false;
    }
    f.red = static_cast<uint8_t>(red);
    f.green = static_cast<uint8_t>(green);
    f.blue = static_cast<uint8_t>(blue);
    values.figure = f;
    return true;
}

// ---- Axises ----

CAxisPage::CAxisPage(const AxisPageValues& v, QWidget* parent) : CGraphPage(parent)
{
    setObjectName("Axises");
    QGridLayout* x = AddGroup("X Axis", 0, 0, 2);
    AddEdit(1056, "Maximum:", 0, 0, x)->setText(Number(v.xMaximum));
    AddEdit(1057, "Minimum:", 1, 0, x)->setText(Number(v.xMinimum));
    AddEdit(1058, "Major Unit:", 2, 0, x)->setText(Number(v.xMajorUnit));
    AddEdit(1059, "Title:", 3, 0, x)->setText(ToQ(v.xTitle));
    QGridLayout* y = AddGroup("Y Axis", 0, 2, 2);
    AddEdit(1053, "Maximum:", 0, 0, y)->setText(Number(v.yMaximum));
    AddEdit(1054, "Minimum:", 1, 0, y)->setText(Number(v.yMinimum));
    AddEdit(1055, "Major Unit:", 2, 0, y)->setText(Number(v.yMajorUnit));
    AddEdit(1060, "Title:", 3, 0, y)->setText(ToQ(v.yTitle));
    AddEdit(1106, "Hist Bin:", 1)->setText(Integer(v.histBin));
    AddEdit(1107, "Label Space:", 1, 1)->setText(Integer(v.labelSpace));
    AddEdit(1108, "Hist Min:", 2)->setText(Integer(v.histMin));
    AddEdit(1109, "Hist Max:", 2, 1)->setText(Integer(v.histMax));
    Grid(this)->setRowStretch(3, 1);
}

bool CAxisPage::Exchange(GraphProperties& values)
{
    AxisPageValues a = values.axis;
    if (!ReadNumber(1056, a.xMaximum) || !ReadNumber(1057, a.xMinimum) || !ReadNumber(1058, a.xMajorUnit)
        || !ReadText(1059, a.xTitle, "the X axis's title") || !ReadNumber(1053, a.yMaximum)
        || !ReadNumber(1054, a.yMinimum) || !ReadNumber(1055, a.yMajorUnit)
        || !ReadText(1060, a.yTitle, "the Y axis's title") || !ReadInteger(1106, a.histBin, 0, 0, false)
        || !ReadInteger(1107, a.labelSpace, 0, 0, false) || !ReadInteger(1109, a.histMax, 0, 0, false)
        || !ReadInteger(1108, a.histMin, 0, 0, false))
        return false;
    // What is typed for the x axis is not kept: the x axis is the parameter's values.
    a.xMaximum = a.xMinimum = a.xMajorUnit = 0;
    values.axis = a;
    return true;
}

// ---- Page ----

CPageSetupPage::CPageSetupPage(const PageSetupPageValues& v, QWidget* parent)
    : CGraphPage(parent), horizontal_(new QButtonGroup(this)), vertical_(new QButtonGroup(this))
{
    setObjectName("Page");
    AddEdit(1037, "Top Margin (mm):", 0)->setText(Number(v.topMargin));
    AddEdit(1038, "Bottom Margin (mm):", 0, 1)->setText(Number(v.bottomMargin));
    AddEdit(1039, "Left Margin (mm):", 1)->setText(Number(v.leftMargin));
    AddEdit(1040, "Right Margin (mm):", 1, 1)->setText(Number(v.rightMargin));
    QGridLayout* alignGrid = AddGroup("Align Figure", 2);
    QWidget* align = alignGrid->parentWidget();
    const char* const names[2][3] = {{"Left", "Center", "Right"}, {"Top", "Center", "Bottom"}};
    QButtonGroup* groups[2] = {horizontal_, vertical_};
    const int firstIds[2] = {1041, 1044};
    const int chosen[2] = {v.horizontalAlignment, v.verticalAlignment};
    for (int g = 0; g < 2; ++g) {
        alignGrid->addWidget(new QLabel(g == 0 ? "Horizontal:" : "Vertical:", align), g, 0);
        for (int i = 0; i < 3; ++i) {
            auto* radio = new QRadioButton(names[g][i], align);
            radio->setObjectName("radio" + QString::number(firstIds[g] + i));
            radio->setChecked(i == chosen[g]);
            groups[g]->addButton(radio, i);
            alignGrid->addWidget(radio, g, i + 1);
        }
    }
    Grid(this)->setRowStretch(3, 1);
}

bool CPageSetupPage::Exchange(GraphProperties& values)
{
    PageSetupPageValues p = values.page;
    if (!ReadNumber(1038, p.bottomMargin) || !ReadNumber(1039, p.leftMargin) || !ReadNumber(1040, p.rightMargin)
        || !ReadNumber(1037, p.topMargin))
        return false;
    p.horizontalAlignment = horizontal_->checkedId();
    p.verticalAlignment = vertical_->checkedId();
    values.page = p;
    return true;
}

// ---- The sheet ----

CGraphPropertySheet::CGraphPropertySheet(const GraphProperties& v, QWidget* parent)
    : QDialog(parent), values(v), tabs_(new QTabWidget(this)), figure_(new CFigurePage(v.figure, tabs_)),
      axis_(new CAxisPage(v.axis, tabs_)), page_(new CPageSetupPage(v.page, tabs_))
{
    setWindowTitle("Properties");
    tabs_->addTab(figure_, "Figure");
    tabs_->addTab(axis_, "Axises");
    tabs_->addTab(page_, "Page");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CGraphPropertySheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);
}

void CGraphPropertySheet::accept()
{
    GraphProperties read = values;
    for (CGraphPage* page : {static_cast<CGraphPage*>(figure_), static_cast<CGraphPage*>(axis_),
                             static_cast<CGraphPage*>(page_)}) {
        if (!page->Exchange(read)) {
            tabs_->setCurrentWidget(page);
            return;
        }
    }
    values = read;
    QDialog::accept();
}

} // namespace orvix
