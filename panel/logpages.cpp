#include "panel/logpages.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "document/orvixdoc.h"
#include "panel/lines.h"
#include "platform/text/qtext.h"
#include "platform/ui/objectname.h"

namespace orvix {

CViewResponse::CViewResponse(COrvixDoc* doc, QWidget* parent) : QWidget(parent), doc_(doc)
{
    setObjectName("Resp");
    list_ = Named(new QListWidget(this), IDC_RESULTS);
    totalEdit_ = Named(new QLineEdit(this), IDC_TOTAL);
    binocularEdit_ = Named(new QLineEdit(this), IDC_BINOCULAR);
    monocularEdit_ = Named(new QLineEdit(this), IDC_MONOCULAR);
    auto* headings = new QHBoxLayout;
    // Headings over the list's tab stops (80 pixels apart).
    headings->setSpacing(0);
    headings->setContentsMargins(4, 0, 0, 0);
    for (const char* h : {"Trial", "Status", "R-Time", "V1", "V2", "V3"}) {
        auto* label = new QLabel(h, this);
        label->setFixedWidth(80);
        headings->addWidget(label);
    }
    headings->addStretch(1);
    auto* counts = new QHBoxLayout;
    for (auto [label, edit] : {std::pair{"Total:", totalEdit_}, std::pair{"Binocular:", binocularEdit_},
                               std::pair{"Monocular:", monocularEdit_}}) {
        edit->setReadOnly(true);
        counts->addWidget(new QLabel(label, this));
        counts->addWidget(edit);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(headings);
    layout->addWidget(list_);
    layout->addLayout(counts);
    ShowCounts();
    UpdateFromDoc();
}

void CViewResponse::ShowCounts()
{
    totalEdit_->setText(QString::number(total_));
    binocularEdit_->setText(QString::number(binocular_));
    monocularEdit_->setText(QString::number(monocular_));
}

void CViewResponse::AddTrialResult(int r1, int r2, int r3, int r4, int status)
{
    const int values[5] = {r1, r2, r3, r4, status};
    int selected = list_->currentRow();
    if (selected >= 0 && !list_->item(selected)->isSelected())
        selected = -1;
    list_->addItem(ToQ(ResponseLine(doc_->GetRecordedTrialCount() + 1, values)));
    if (selected < 0 || selected >= list_->count() - 5)
        list_->setCurrentRow(list_->count() - 1);
}

void CViewResponse::Clear()
{
    list_->clear();
    binocular_ = total_ = monocular_ = 0;
    ShowCounts();
}

void CViewResponse::UpdateFromDoc()
{
    list_->clear();
    int count = doc_->GetRecordedTrialCount();
    for (int i = 0; i < count; ++i) {
        int v[5] = {0, 0, 0, 0, 0};
        doc_->GetTrialResponse(i, &v[0], &v[1], &v[2], &v[3], &v[4]);
        list_->addItem(ToQ(ResponseLine(i + 1, v)));
    }
}

CSysLogPage::CSysLogPage(QWidget* parent) : QWidget(parent)
{
    setObjectName("SysLog");
    list_ = Named(new QListWidget(this), IDC_LOG);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
}

void CSysLogPage::AddLog(const std::string& text)
{
    for (const std::string& line : SplitLogText(text))
        list_->addItem(ToQ(line));
    list_->setCurrentRow(list_->count() - 1);
}

void CSysLogPage::AddInitialLines(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        list_->addItem(ToQ(line));
}

CViewListDlg::CViewListDlg(const std::vector<std::string>* lines, QWidget* parent) : QDialog(parent)
{
    setObjectName("View");
    setWindowTitle("View");
    list_ = Named(new QListWidget(this), IDC_LIST);
    QFont font("Courier New", 9);
    font.setStyleHint(QFont::Monospace);
    list_->setFont(font);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    if (lines)
        for (size_t i = 0; i < lines->size(); ++i)
            list_->addItem(ToQ(ViewListLine(static_cast<int>(i) + 1, (*lines)[i])));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(buttons);
}

} // namespace orvix
