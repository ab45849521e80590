#include "document/orvixdoc.h"

#include <ctime>

#include "io/deviceio.h"
#include "platform/logmirror.h"
#include "runner/taskrunner.h"

namespace orvix {

namespace {
COrvixDoc* g_activeDoc = nullptr;
}

COrvixDoc* COrvixDoc::GetActive() { return g_activeDoc; }
void COrvixDoc::SetActive(COrvixDoc* doc) { g_activeDoc = doc; }

COrvixDoc::COrvixDoc()
{
    ReadRegistry();
    g_taskRunner.SetDocument(this);
    curTestType_ = -1;
}

COrvixDoc::~COrvixDoc()
{
    if (g_activeDoc == this)
        g_activeDoc = nullptr;
    if (g_taskRunner.GetDocument() == this)
        g_taskRunner.SetDocument(nullptr);
    g_deviceIO.DetachDocument(this);
}

void COrvixDoc::AddLogLine(const std::string& text)
{
    char stamp[16];
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    strftime(stamp, sizeof stamp, "%H:%M:%S: ", &local);
    std::string line = stamp + text;
    MirrorLogLine(line);
    if (!controlPanel_)
        return;
}

void COrvixDoc::UpdateBehavParamItem(int i)
{
    if (!controlPanel_ || i < 0)
        return;
}

void COrvixDoc::UpdateGraphParamItem(int i)
{
    if (!controlPanel_ || i < 0)
        return;
}

void COrvixDoc::RefreshBehavPage()
{
    if (!controlPanel_)
        return;
}

void COrvixDoc::UpdateChannelDisplay(int channel) {}

} // namespace orvix
