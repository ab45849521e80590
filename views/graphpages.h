// The response graph's "Properties" sheet: the pages "Figure", "Axises" and "Page" show
// the values of GraphProperties and read them back when OK is pressed; a malformed or
// out-of-range value is refused with a message and keeps the sheet open on that page.
// Controls are named "edit1047", "radio1041", ... after the ids they have always had.
#pragma once
#include <QDialog>
#include <QWidget>

#include "document/graphproperties.h"

class QButtonGroup;
class QGridLayout;
class QLineEdit;
class QTabWidget;

namespace orvix {

// One page's text fields: each shows a number and reads it back.
class CGraphPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    // The page's controls into `values`; false (message shown, field focused) when one
    // cannot be read.
    virtual bool Exchange(GraphProperties& values) = 0;
    QLineEdit* Edit(int id) const;

protected:
    // A labelled edit in the page's grid, or in a group's grid.
    QLineEdit* AddEdit(int id, const char* label, int row, int column = 0, QGridLayout* grid = nullptr);
    // A titled group across the page's grid at `row`, with a grid of its own.
    QGridLayout* AddGroup(const char* title, int row, int column = 0, int columnSpan = 4);
    bool ReadNumber(int id, float& value);
    bool ReadInteger(int id, int32_t& value, int low, int high, bool ranged);
    // False when the text was refused (a letter the code page cannot hold), the message naming
    // `field`.
    bool ReadText(int id, std::string& value, const char* field);
};

class CFigurePage : public CGraphPage {
    Q_OBJECT
public:
    enum { IDD = 133 };
    explicit CFigurePage(const FigurePageValues& values, QWidget* parent = nullptr);
    bool Exchange(GraphProperties& values) override;
};

class CAxisPage : public CGraphPage {
    Q_OBJECT
public:
    enum { IDD = 134 };
    explicit CAxisPage(const AxisPageValues& values, QWidget* parent = nullptr);
    bool Exchange(GraphProperties& values) override;
};

class CPageSetupPage : public CGraphPage {
    Q_OBJECT
public:
    enum { IDD = 131 };
    explicit CPageSetupPage(const PageSetupPageValues& values, QWidget* parent = nullptr);
    bool Exchange(GraphProperties& values) override;
    QButtonGroup* Horizontal() const { return horizontal_; }
    QButtonGroup* Vertical() const { return vertical_; }

private:
    QButtonGroup* horizontal_;
    QButtonGroup* vertical_;
};

class CGraphPropertySheet : public QDialog {
    Q_OBJECT
public:
    explicit CGraphPropertySheet(const GraphProperties& values, QWidget* parent = nullptr);
    // What OK read from the pages.
    GraphProperties values;

    CFigurePage* FigurePage() const { return figure_; }
    CAxisPage* AxisPage() const { return axis_; }
    CPageSetupPage* PageSetupPage() const { return page_; }
    QTabWidget* Tabs() const { return tabs_; }

    void accept() override;

private:
    QTabWidget* tabs_;
    CFigurePage* figure_;
    CAxisPage* axis_;
    CPageSetupPage* page_;
};

} // namespace orvix
