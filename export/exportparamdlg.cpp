#include "export/exportparamdlg.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "document/orvixdoc.h"
#include "export/connectdlg.h"
#include "export/exportoptionsdlg.h"
#include "export/paramexport.h"
#include "model/fieldtext.h"
#include "platform/text/numbers.h"
#include "platform/text/qtext.h"
#include "platform/ui/objectname.h"
#include "platform/ui/ui.h"

namespace orvix {

bool CExportParamDlg::running_ = false;

namespace {

QRadioButton* Radio(QButtonGroup* group, QWidget* parent, const char* text, int id, int value)
{
    auto* r = Named(new QRadioButton(ToQ(text), parent), id);
    group->addButton(r, value);
    return r;
}

} // namespace

CExportParamDlg::CExportParamDlg(COrvixDoc* doc, IDocumentOpener& opener, QWidget* parent)
    : CExportRunDlg(parent, &running_), doc_(doc), opener_(opener)
{
    setWindowTitle("Export Parameter");
    settings_ = new QWidget(this);
    input_ = Named(new QLineEdit(ToQ(doc ? doc->dataFilePath : std::string()), settings_), IDC_INPUT);
    input_->setMinimumWidth(420);
    output_ = Named(new QLineEdit("c:\\temp\\temp.csv", settings_), IDC_OUTPUT);
    names_ = Named(new QLineEdit(settings_), IDC_NAMES);
    names_->setToolTip("Names separated by commas, e.g. OR, SIZE");

    auto* kindBox = new QGroupBox("Parameter type", settings_);
    kinds_ = new QButtonGroup(this);
    auto* kindLayout = new QVBoxLayout(kindBox);
    kindLayout->addWidget(Radio(kinds_, kindBox, "&Graph Param", IDC_GRAPH, 0));
    kindLayout->addWidget(Radio(kinds_, kindBox, "&Behav Param", IDC_BEHAV, 1));
    auto* formatBox = new QGroupBox("Output format", settings_);
    formats_ = new QButtonGroup(this);
    auto* formatLayout = new QVBoxLayout(formatBox);
    formatLayout->addWidget(Radio(formats_, formatBox, "&CSV", IDC_CSV, 0));
    auto* odbcRow = new QHBoxLayout;
    odbcRow->addWidget(Radio(formats_, formatBox, "&ODBC", IDC_ODBC, 1));
    auto* options = Named(new QPushButton("O&ptions...", formatBox), IDC_OPTIONS);
    odbcRow->addWidget(options);
    formatLayout->addLayout(odbcRow);

    auto* grid = new QGridLayout(settings_);
    grid->setContentsMargins(0, 0, 0, 0);
    auto label = [&](const char* text, QLineEdit* buddy, int row) {
        auto* l = new QLabel(text, settings_);
        l->setBuddy(buddy);
        grid->addWidget(l, row, 0);
        grid->addWidget(buddy, row, 1, 1, 2);
    };
    label("&Input files:", input_, 0);
    label("Output file:", output_, 1);
    label("Param to export:", names_, 2);
    grid->addWidget(kindBox, 3, 0, 1, 2);
    grid->addWidget(formatBox, 3, 2);

    status_ = Named(new QLabel(" ", this), IDC_STATUS);
    QHBoxLayout* buttons = StartButtons("C&ancel");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(settings_);
    layout->addWidget(status_);
    layout->addLayout(buttons);

    connect(kinds_, &QButtonGroup::idClicked, this, [this](int kind) { kind ? OnBehavParam() : OnGraphParam(); });
    connect(formats_, &QButtonGroup::idClicked, this, [this](int f) { f ? OnFormatOdbc() : OnFormatCsv(); });
    connect(options, &QPushButton::clicked, this, [this] { OnOptions(); });
    connect(start_, &QPushButton::clicked, this, [this] { OnOK(); });
    kinds_->button(kind_)->setChecked(true);
    formats_->button(format_)->setChecked(true);
}

void CExportParamDlg::OnFormatCsv()
{
    format_ = PARAM_FORMAT_CSV;
    output_->setEnabled(true);
    names_->setEnabled(true);
}

void CExportParamDlg::OnFormatOdbc()
{
    // The tables take every parameter of the kind.
    format_ = PARAM_FORMAT_ODBC;
    output_->setEnabled(false);
    names_->setEnabled(false);
}

void CExportParamDlg::OnOptions() { EditOdbcOptions(options_, this); }

void CExportParamDlg::OnOK()
{
    if (StopIfRunning())
        return;
    ParamExportSettings s;
    if (!TakeField(*input_, s.input, "the \"Input files\" field")
        || !TakeField(*output_, s.output, "the \"Output file\" field")
        || !TakeField(*names_, s.names, "the \"Param to export\" field"))
        return;
    s.kind = kind_;
    s.format = format_;
    // The database is chosen once per dialog; as designed, one that cannot be opened
    // closes the dialog.
    if (s.format == PARAM_FORMAT_ODBC && !db_.IsOpen()) {
        OpenDatabaseResult result = OpenDatabase(db_, this);
        if (result == DB_FAILED)
            QDialog::accept();
        if (result != DB_OPENED)
            return;
    }
    files_ = 0;
    SetRunning(true);
    CParamExport exporter(doc_, opener_, *this);
    exporter.db = &db_;
    exporter.options = &options_;
    const bool ok = exporter.Run(s);
    doc_ = exporter.Document();
    // No beep: the end shows in the status line.
    Finish(ok, files_, false);
}

void CExportParamDlg::OnFile(const std::string& path, int)
{
    ++files_;
    status_->setText(ToQ(Format("File %d: %s", files_, path.c_str())));
}

void CExportParamDlg::OnFileDone() { Pump(); }

} // namespace orvix
