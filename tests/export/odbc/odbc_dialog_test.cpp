// The dialogs of the database exports driven through their widgets: the connection
// chooser, the options, and the Export Data dialog's database format.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "document/paramtable.h"
#include "export/connectdlg.h"
#include "export/exportdatadlg.h"
#include "export/exportoptionsdlg.h"
#include "export/exportparamdlg.h"
#include "platform/text/qtext.h"
#include "tests/export/odbc/odbc_fixture.h"

using namespace orvix;

namespace {

template <class W>
W* Ctl(QWidget* dialog, int id)
{
    return dialog->findChild<W*>(QStringLiteral("ctl%1").arg(id));
}

// Answers the connection chooser with a source, a user and a password.
std::function<int(QDialog&)> Choose(const std::string& source, const std::string& user = "",
                                    const std::string& password = "", int* runs = nullptr)
{
    return [=](QDialog& d) -> int {
        auto* chooser = dynamic_cast<CConnectDlg*>(&d);
        if (!chooser)
            return IDCANCEL;
        if (runs)
            ++*runs;
        Ctl<QComboBox>(chooser, CConnectDlg::IDC_SOURCE)->setEditText(ToQ(source));
        Ctl<QLineEdit>(chooser, CConnectDlg::IDC_USER)->setText(ToQ(user));
        Ctl<QLineEdit>(chooser, CConnectDlg::IDC_PASSWORD)->setText(ToQ(password));
        return IDOK;
    };
}

std::vector<double> Numbers(const std::vector<std::vector<std::string>>& rows)
{
    std::vector<double> v;
    for (const auto& row : rows)
        for (const std::string& cell : row)
            v.push_back(std::stod(cell));
    return v;
}

using OdbcDialogTest = OdbcTest;

// The chooser offers the data sources unixODBC knows and builds the connect string;
// it remembers the source and the user for the program's run, never the password.
TEST_F(OdbcDialogTest, ChooserListsSourcesAndBuildsTheConnectString)
{
    auto dialog = std::make_unique<CConnectDlg>();
    QComboBox* source = Ctl<QComboBox>(dialog.get(), CConnectDlg::IDC_SOURCE);
    EXPECT_GE(source->findText("orvix_sqlite"), 0);
    source->setEditText("orvix_sqlite");
    Ctl<QLineEdit>(dialog.get(), CConnectDlg::IDC_USER)->setText("lab");
    Ctl<QLineEdit>(dialog.get(), CConnectDlg::IDC_PASSWORD)->setText("se;cret");
    EXPECT_EQ(dialog->ConnectString(), "DSN=orvix_sqlite;UID=lab;PWD={se;cret}");
    source->setEditText("Driver=SQLite3;Database=/tmp/x.db;");
    Ctl<QLineEdit>(dialog.get(), CConnectDlg::IDC_PASSWORD)->setText("");
    EXPECT_EQ(dialog->ConnectString(), "Driver=SQLite3;Database=/tmp/x.db;UID=lab");
    dialog->Remember();
    dialog = std::make_unique<CConnectDlg>();
    EXPECT_EQ(Ctl<QComboBox>(dialog.get(), CConnectDlg::IDC_SOURCE)->currentText(), "Driver=SQLite3;Database=/tmp/x.db;");
    EXPECT_EQ(Ctl<QLineEdit>(dialog.get(), CConnectDlg::IDC_USER)->text(), "lab");
    EXPECT_EQ(Ctl<QLineEdit>(dialog.get(), CConnectDlg::IDC_PASSWORD)->text(), "");
}

TEST_F(OdbcDialogTest, OptionsAreKeptOnlyWithOk)
{
    OdbcOptions o;
    CExportOptionsDlg dialog(o);
    EXPECT_TRUE(Ctl<QCheckBox>(&dialog, CExportOptionsDlg::IDC_AUTO_CREATE)->isChecked());
    EXPECT_FALSE(Ctl<QCheckBox>(&dialog, CExportOptionsDlg::IDC_GRANT)->isChecked());
    EXPECT_TRUE(Ctl<QCheckBox>(&dialog, CExportOptionsDlg::IDC_AUTO_ADD)->isChecked());
    EXPECT_TRUE(Ctl<QRadioButton>(&dialog, CExportOptionsDlg::IDC_SKIP)->isChecked());
    auto change = [](QDialog& d) -> int {
        Ctl<QCheckBox>(&d, CExportOptionsDlg::IDC_GRANT)->click();
        Ctl<QCheckBox>(&d, CExportOptionsDlg::IDC_AUTO_ADD)->click();
        Ctl<QRadioButton>(&d, CExportOptionsDlg::IDC_DELETE_FIRST)->click();
        return IDCANCEL;
    };
    ui.onModal = change;
    EditOdbcOptions(o, nullptr);
    EXPECT_FALSE(o.grant);
    ui.onModal = [&](QDialog& d) -> int { return change(d), IDOK; };
    EditOdbcOptions(o, nullptr);
    EXPECT_TRUE(o.grant);
    EXPECT_FALSE(o.autoAdd);
    EXPECT_TRUE(o.autoCreate);
    EXPECT_EQ(o.duplicates, DUPLICATE_DELETE_FIRST);
}

// The Export Data dialog's database format: no output folder, the database chosen at the
// first Start and kept, the options of its own.
TEST_F(OdbcDialogTest, ExportDataToADatabase)
{
    Save("M1H3P22AFC01.oxv", {"OR 0", "OR 90"}, Trials(3));
    ExportDataChoices choices;
    CExportDataDlg dialog(doc.get(), opener, choices);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    Ctl<QRadioButton>(&dialog, CExportDataDlg::IDC_ODBC)->click();
    EXPECT_FALSE(Ctl<QLineEdit>(&dialog, CExportDataDlg::IDC_OUTPUT)->isEnabled());
    EXPECT_FALSE(Ctl<QCheckBox>(&dialog, CExportDataDlg::IDC_SINGLE_FILE)->isEnabled());
    Ctl<QLineEdit>(&dialog, CExportDataDlg::IDC_INPUT)->setText(ToQ(data + "/*.oxv"));
    Ctl<QRadioButton>(&dialog, CExportDataDlg::IDC_SPIKE)->click();

    int chooserRuns = 0;
    ui.onModal = [&](QDialog& d) -> int {
        if (dynamic_cast<CExportOptionsDlg*>(&d)) {
            Ctl<QRadioButton>(&d, CExportOptionsDlg::IDC_DELETE_FIRST)->click();
            return IDOK;
        }
        return Choose(connect, "", "", &chooserRuns)(d);
    };
    QTest::mouseClick(Ctl<QPushButton>(&dialog, IDOK), Qt::LeftButton);
    EXPECT_EQ(chooserRuns, 1);
    EXPECT_EQ(Count("SELECT count(*) FROM T2AFC_SPIKE"), 9);
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_EQ(Ctl<QLabel>(&dialog, CExportDataDlg::IDC_STATUS)->text(), "Done: 1 file(s).");

    // Again with "DELETE first": the same database without asking, the rows replaced.
    QTest::mouseClick(Ctl<QPushButton>(&dialog, CExportDataDlg::IDC_OPTIONS), Qt::LeftButton);
    EXPECT_EQ(dialog.Options().duplicates, DUPLICATE_DELETE_FIRST);
    QTest::mouseClick(Ctl<QPushButton>(&dialog, IDOK), Qt::LeftButton);
    EXPECT_EQ(chooserRuns, 1);
    EXPECT_EQ(Count("SELECT count(*) FROM T2AFC_SPIKE"), 9);
    EXPECT_TRUE(ui.messages.empty());
}

// A data source that cannot be opened: the driver's reason, and no export.
TEST_F(OdbcDialogTest, DatabaseThatCannotBeOpenedStartsNoExport)
{
    Save("M1H3P22AFC01.oxv", {"OR 0"}, Trials(1, 1));
    ExportDataChoices choices;
    choices.format = EXPORT_ODBC;
    CExportDataDlg dialog(doc.get(), opener, choices);
    Ctl<QLineEdit>(&dialog, CExportDataDlg::IDC_INPUT)->setText(ToQ(data + "/*.oxv"));
    ui.onModal = Choose("no_such_source");
    dialog.OnOK();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("Can't open database.\n", 0), 0u);
    EXPECT_NE(ui.messages[0].text.find("State: IM002"), std::string::npos) << ui.messages[0].text;
    EXPECT_TRUE(opener.opened.empty());
    EXPECT_EQ(ui.beeps, 0);
    // Cancel in the chooser: nothing at all.
    ui.onModal = nullptr;
    dialog.OnOK();
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(opener.opened.empty());
}

} // namespace

namespace {

class ParamDlgTest : public OdbcTest {
protected:
    void SaveWithGraph(const std::string& name, const char* orient)
    {
        COrvixDoc d;
        Fill(d, {"OR 0"}, Trials(1, 1), data + "/" + name);
        auto* p = new CParam("OR", 0);
        p->SetFromText(orient);
        d.Table(KIND_GRAPH).Add(p);
        ASSERT_TRUE(d.OnSaveDocument(data + "/" + name));
    }
};

TEST_F(ParamDlgTest, ExportParamToAFileAndToADatabase)
{
    SaveWithGraph("M1H3P2ORIENT01.oxv", "45");
    SaveWithGraph("M1H3P2ORIENT02.oxv", "90");
    doc->dataFilePath = "c:\\data\\M1H3P2ORIENT05.oxv";
    CExportParamDlg dialog(doc.get(), opener);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* input = Ctl<QLineEdit>(&dialog, CExportParamDlg::IDC_INPUT);
    auto* output = Ctl<QLineEdit>(&dialog, CExportParamDlg::IDC_OUTPUT);
    auto* names = Ctl<QLineEdit>(&dialog, CExportParamDlg::IDC_NAMES);
    EXPECT_EQ(input->text(), "c:\\data\\M1H3P2ORIENT05.oxv");
    EXPECT_EQ(output->text(), "c:\\temp\\temp.csv");
    EXPECT_TRUE(names->text().isEmpty());
    EXPECT_TRUE(Ctl<QRadioButton>(&dialog, CExportParamDlg::IDC_GRAPH)->isChecked());
    EXPECT_TRUE(Ctl<QRadioButton>(&dialog, CExportParamDlg::IDC_CSV)->isChecked());

    input->setText(ToQ(data + "/*.oxv"));
    output->setText(ToQ(out + "/p.csv"));
    names->setText("OR");
    QTest::mouseClick(Ctl<QPushButton>(&dialog, IDOK), Qt::LeftButton);
    EXPECT_EQ(orvix_test::ReadFile(out + "/p.csv"),
              "CellID$,TestName,Rep,OR\r\n\"M1H3P2\",ORIENT,1,45\r\n\"M1H3P2\",ORIENT,2,90\r\n");
    EXPECT_EQ(ui.beeps, 0); // the end shows in the status line, without a beep
    EXPECT_EQ(Ctl<QLabel>(&dialog, CExportParamDlg::IDC_STATUS)->text(), "Done: 2 file(s).");

    Ctl<QRadioButton>(&dialog, CExportParamDlg::IDC_ODBC)->click();
    EXPECT_FALSE(output->isEnabled());
    EXPECT_FALSE(names->isEnabled());
    int runs = 0;
    ui.onModal = Choose(connect, "", "", &runs);
    QTest::mouseClick(Ctl<QPushButton>(&dialog, IDOK), Qt::LeftButton);
    QTest::mouseClick(Ctl<QPushButton>(&dialog, IDOK), Qt::LeftButton);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(Numbers(Query("SELECT REP, ORIENT FROM GRAPHPARAM ORDER BY REP")), (std::vector<double>{1, 45, 2, 90}));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(dialog.isVisible());
}

// A database that cannot be opened closes the dialog, as designed; a cancelled choice
// leaves it open.
TEST_F(ParamDlgTest, DatabaseThatCannotBeOpenedClosesTheDialog)
{
    CExportParamDlg dialog(doc.get(), opener);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    Ctl<QRadioButton>(&dialog, CExportParamDlg::IDC_ODBC)->click();
    dialog.OnOK();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(ui.messages.empty());
    ui.onModal = Choose("no_such_source");
    dialog.OnOK();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("Can't open database.\n", 0), 0u);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(opener.opened.empty());
}

} // namespace
