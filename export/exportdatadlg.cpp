#include "export/exportdatadlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "document/orvixdoc.h"
#include "export/connectdlg.h"
#include "export/exportoptionsdlg.h"
#include "model/fieldtext.h"
#include "platform/text/numbers.h"
#include "platform/text/qtext.h"
#include "platform/ui/objectname.h"
#include "platform/ui/ui.h"

namespace orvix {

namespace {

const char* const kOutputFolder = "&Output directory:";
const char* const kOutputFile = "&Output file:";

QRadioButton* Radio(QButtonGroup* group, QWidget* parent, const char* text, int id, int value)
{
    auto* r = Named(new QRadioButton(ToQ(text), parent), id);
    group->addButton(r, value);
    return r;
}

} // namespace

CExportDataDlg::CExportDataDlg(COrvixDoc* doc, IDocumentOpener& opener, ExportDataChoices& choices, QWidget* parent)
    : CExportRunDlg(parent), doc_(doc), opener_(opener), choices_(choices), odbcExport_(db_, odbcOptions_)
{
    setWindowTitle("Export Data");
    settings_ = new QWidget(this);
    input_ = Named(new QLineEdit(ToQ(doc ? doc->dataFilePath : std::string()), settings_), IDC_INPUT);
    output_ = Named(new QLineEdit(ToQ(choices.output), settings_), IDC_OUTPUT);
    input_->setMinimumWidth(420);
    auto* inputLabel = new QLabel("&Input files:\n(allow use of * or ?)", settings_);
    inputLabel->setBuddy(input_);
    outputLabel_ = Named(new QLabel(kOutputFolder, settings_), IDC_OUTPUT_LABEL);
    outputLabel_->setBuddy(output_);

    auto* formatBox = new QGroupBox("Output format", settings_);
    formats_ = new QButtonGroup(this);
    auto* formatLayout = new QVBoxLayout(formatBox);
    formatLayout->addWidget(Radio(formats_, formatBox, "&CSV (comma delimited)", IDC_CSV, EXPORT_CSV));
    formatLayout->addWidget(Radio(formats_, formatBox, "&DBF", IDC_DBF, EXPORT_DBF));
    auto* odbc = Radio(formats_, formatBox, "ODBC Database", IDC_ODBC, EXPORT_ODBC);
    options_ = Named(new QPushButton("Options...", formatBox), IDC_OPTIONS);
    auto* odbcRow = new QHBoxLayout;
    odbcRow->addWidget(odbc);
    odbcRow->addWidget(options_);
    formatLayout->addLayout(odbcRow);
    // The limit of the dBASE table's FigOnTime field (N 9.1), where the user chooses it.
    auto* note = new QLabel("DBF: FigOnTime holds up to 9999999.9 ms,\nabout 2.78 h after the first trial.", formatBox);
    note->setEnabled(false);
    formatLayout->addWidget(note);

    auto* eventBox = new QGroupBox("Event type", settings_);
    events_ = new QButtonGroup(this);
    auto* eventLayout = new QVBoxLayout(eventBox);
    eventLayout->addWidget(Radio(events_, eventBox, "&Basic events", IDC_BASIC, EXPORT_BASIC));
    eventLayout->addWidget(Radio(events_, eventBox, "S&pike events", IDC_SPIKE, EXPORT_SPIKE));
    eventLayout->addWidget(Radio(events_, eventBox, "&Eye movement data", IDC_EYE, EXPORT_EYE));
    eventLayout->addWidget(Radio(events_, eventBox, "&Joystick readings", IDC_JOYSTICK, EXPORT_KEY));

    single_ = Named(new QCheckBox("Output to &single file", settings_), IDC_SINGLE_FILE);
    single_->setChecked(choices.singleFile);
    expand_ = Named(new QCheckBox("&Expand vector", settings_), IDC_EXPAND_VECTOR);
    expand_->setChecked(choices.expandVector);

    auto* grid = new QGridLayout(settings_);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(inputLabel, 0, 0);
    grid->addWidget(input_, 0, 1, 1, 2);
    grid->addWidget(outputLabel_, 1, 0);
    grid->addWidget(output_, 1, 1, 1, 2);
    grid->addWidget(formatBox, 2, 0, 1, 2);
    grid->addWidget(eventBox, 2, 2);
    grid->addWidget(single_, 3, 0, 1, 2);
    grid->addWidget(expand_, 3, 2);

    status_ = Named(new QLabel(" ", this), IDC_STATUS);
    progress_ = Named(new QProgressBar(this), IDC_PROGRESS);
    progress_->setRange(0, 1);
    progress_->setValue(0);
    QHBoxLayout* buttons = StartButtons("&Cancel");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(settings_);
    layout->addWidget(status_);
    layout->addWidget(progress_);
    layout->addLayout(buttons);

    // The kept format and event type take effect at once, as the radios are clicked.
    connect(formats_, &QButtonGroup::idClicked, this, [this](int format) { OnFormat(format); });
    connect(events_, &QButtonGroup::idClicked, this, [this](int type) { choices_.eventType = type; });
    connect(single_, &QCheckBox::clicked, this, [this] { OnSingleFile(); });
    connect(start_, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(options_, &QPushButton::clicked, this, [this] { OnOptions(); });

    if (QAbstractButton* b = events_->button(choices.eventType))
        b->setChecked(true);
    if (QAbstractButton* b = formats_->button(choices.format))
        b->setChecked(true);
    else
        formats_->button(EXPORT_CSV)->setChecked(true);
    OnFormat(formats_->checkedId());
    outputLabel_->setText(single_->isChecked() ? kOutputFile : kOutputFolder);
}

void CExportDataDlg::OnOptions() { EditOdbcOptions(odbcOptions_, this); }

void CExportDataDlg::OnFormat(int format)
{
    choices_.format = format;
    // The database format writes one table per test: no output file or folder.
    const bool files = format != EXPORT_ODBC;
    single_->setEnabled(files);
    output_->setEnabled(files);
}

bool CExportDataDlg::KeepSettings()
{
    if (!TakeField(*output_, choices_.output, "the \"Output\" field"))
        return false;
    choices_.singleFile = single_->isChecked();
    choices_.expandVector = expand_->isChecked();
    return true;
}

void CExportDataDlg::OnSingleFile()
{
    // Only the label: the setting is kept when Start is pressed, so Cancel drops it.
    outputLabel_->setText(single_->isChecked() ? kOutputFile : kOutputFolder);
}

void CExportDataDlg::OnOK()
{
    if (StopIfRunning())
        return;
    ExportSettings s;
    if (!KeepSettings() || !TakeField(*input_, s.input, "the \"Input files\" field"))
        return;
    s.output = choices_.output;
    s.format = choices_.format;
    s.eventType = choices_.eventType;
    s.singleFile = choices_.singleFile && s.format != EXPORT_ODBC;
    // The database is chosen once per dialog (again after a lost connection).
    if (s.format == EXPORT_ODBC && !db_.IsOpen() && OpenDatabase(db_, this) != DB_OPENED) {
        status_->setText("No database: the export did not start.");
        return;
    }
    fileNumber_ = 0;
    SetRunning(true);
    CTrialExport exporter(doc_, opener_, *this);
    exporter.tableExporter = &odbcExport_;
    bool ok = exporter.Run(s);
    doc_ = exporter.Document();
    Finish(ok, fileNumber_, true, exporter.Written());
}

void CExportDataDlg::OnFile(const std::string& path, int trialCount)
{
    ++fileNumber_;
    currentFile_ = path;
    trialCount_ = trialCount;
    trialsDone_ = shownDone_ = 0;
    SetBar(std::max(trialCount, 1), 0);
    status_->setText(ToQ(Format("File %d: %s", fileNumber_, path.c_str())));
}

void CExportDataDlg::OnTrial(int done)
{
    // One step per trial; the bar and the event loop follow at the display's rate.
    trialsDone_ = done;
    if (!RefreshDue())
        return;
    ShowProgress();
    Pump();
}

void CExportDataDlg::OnFileDone()
{
    ShowProgress();
    if (RefreshDue())
        Pump();
}

void CExportDataDlg::ShowProgress()
{
    if (trialsDone_ == shownDone_)
        return;
    shownDone_ = trialsDone_;
    SetBar(progress_->maximum(), trialsDone_);
    status_->setText(
        ToQ(Format("File %d: %s - trial %d of %d", fileNumber_, currentFile_.c_str(), trialsDone_, trialCount_)));
}

void CExportDataDlg::SetBar(int maximum, int value)
{
    // The bar's setters paint it at once; it is painted with the rest of the dialog in the
    // next pass of the event loop instead.
    progress_->setUpdatesEnabled(false);
    progress_->setRange(0, maximum);
    progress_->setValue(value);
    progress_->setUpdatesEnabled(true);
}

} // namespace orvix
