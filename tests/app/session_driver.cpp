// orvix-session: the program as a newcomer uses it, driven through its own windows in a
// process of its own, so that its real way out (the main loop's end, the objects' teardown
// in order, the process exit) is what the test sees. The argument says how the save
// question at the end is answered: "no", or "cancel" (then "no" on the second try); or
// "signal": during the run the driver says "signal me" and waits for the test's signal,
// answering "no". Steps are printed one a line; the exit code is the program's, 3 when a
// step never came.
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "app/controlpanel_owner.h"
#include "app/orvixapp.h"
#include "document/orvixdoc.h"
#include "panel/controlpanel.h"
#include "panel/testpage.h"
#include "platform/ui/ui.h"
#include "runner/experiment.h"
#include "views/mainframe.h"

using namespace orvix;

namespace {

constexpr int kTrials = 3;
constexpr int kStepTimeoutMs = 30000;
constexpr int kPollMs = 50;

void Say(const char* step)
{
    printf("%s\n", step);
    fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    bool cancelFirst = argc > 1 && !strcmp(argv[1], "cancel");
    bool bySignal = argc > 1 && !strcmp(argv[1], "signal");
    QApplication qtApp(argc, argv);
    CScriptedUI ui;
    // The data folder offered is taken as it is (the run command made it).
    ui.onAskDataFolder = [](std::string&) { return true; };
    ui.onModal = [](QDialog& dialog) {
        if (auto* name = dialog.findChild<QLineEdit*>()) {
            name->setText("Demo");
            dialog.accept();
            return IDOK;
        }
        return IDCANCEL;
    };
    int code;
    {
        COrvixApp app;
        if (!app.InitInstance(QStringList{"orvix"}))
            return 2;
        COrvixDoc& doc = *app.Document();
        auto button = [&](int id) {
            CControlPanel* panel = app.ControlPanels()->Get();
            return panel ? panel->findChild<QPushButton*>(QStringLiteral("ctl%1").arg(id)) : nullptr;
        };
        auto testPage = [&] {
            CControlPanel* panel = app.ControlPanels()->Get();
            return panel ? panel->findChild<CTest*>() : nullptr;
        };

        // Each step waits for its condition, then acts once.
        struct Step {
            const char* name;
            std::function<bool()> ready;
            std::function<void()> act;
        };
        size_t exitAnswers = 0;
        std::vector<Step> steps = {
            {"enable", [] { return true; },
             [&] { app.MainFrame()->Action(COrvixDoc::ID_ENABLE)->trigger(); }},
            {"new test", [&] { return app.Experiment().runner.GetRunFlag() == 1 && button(CTest::IDC_NEW_TEST); },
             [&] { button(CTest::IDC_NEW_TEST)->click(); }},
            {"start", [&] { return doc.GetCurrentTestType() >= 0; },
             [&] { QTimer::singleShot(0, [&] { button(CTest::IDC_START)->click(); }); }},
            {"exit during the run", [&] { return doc.testRunning && doc.GetTrialCount() >= 1; },
             [&] { app.MainFrame()->Action(ICommandTarget::ID_APP_EXIT)->trigger(); }},
            {"stop", [&] { return doc.GetTrialCount() >= kTrials; },
             [&] {
                 if (!app.MainFrame()->isVisible() || ui.messages.empty()
                     || ui.messages.back().text.find("A test is running") == std::string::npos)
                     Say("exit during the run was not refused");
                 button(CTest::IDC_START)->click();
             }},
            {"exit", [&] { return !doc.testRunning && testPage() && doc.IsModified(); },
             [&] {
                 ui.answers = {cancelFirst ? IDCANCEL : IDNO};
                 exitAnswers = ui.messages.size();
                 app.MainFrame()->Action(ICommandTarget::ID_APP_EXIT)->trigger();
             }},
        };
        if (bySignal) {
            // In place of Exit during the run: the run is to be stopped and the question asked.
            steps.resize(3);
            steps.push_back({"signal me", [&] { return doc.testRunning && doc.GetTrialCount() >= 1; },
                             [&] {
                                 ui.answers = {IDNO};
                                 exitAnswers = ui.messages.size();
                             }});
        }
        if (cancelFirst)
            steps.push_back({"exit again", [&] { return app.MainFrame()->isVisible(); },
                             [&] {
                                 ui.answers = {IDNO};
                                 app.MainFrame()->Action(ICommandTarget::ID_APP_EXIT)->trigger();
                             }});

        size_t next = 0;
        int waited = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (next >= steps.size())
                return;
            if (!steps[next].ready()) {
                if ((waited += kPollMs) > kStepTimeoutMs) {
                    printf("step \"%s\" never came\n", steps[next].name);
                    printf("modal runs %d, test types %d, current %d\n", ui.modalRuns, doc.GetTestTypeCount(),
                           doc.GetCurrentTestType());
                    for (const CScriptedUI::Message& m : ui.messages)
                        printf("message: %s\n", m.text.c_str());
                    fflush(stdout);
                    QApplication::exit(3);
                }
                return;
            }
            waited = 0;
            Step& step = steps[next++];
            Say(step.name);
            step.act();
        });
        poll.start(kPollMs);
        code = app.Run();
        poll.stop();
        printf("trials %d\n", doc.GetTrialCount());
        for (size_t i = exitAnswers; i < ui.messages.size(); ++i)
            printf("asked: %s\n", ui.messages[i].text.c_str());
        fflush(stdout);
    }
    return code;
}
