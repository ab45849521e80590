#include "document/orvixdoc.h"

#include "io/deviceio.h"
#include "runner/taskrunner.h"

namespace orvix {

namespace {
COrvixDoc* g_activeDoc = nullptr;
}

COrvixDoc* COrvixDoc::GetActive() { return g_activeDoc; }
void COrvixDoc::SetActive(COrvixDoc* doc) { g_activeDoc = doc; }

COrvixDoc::COrvixDoc() : ownRecords_(*this)
{
    ReadRegistry();
    g_taskRunner.SetDocument(this);
    curTestType_ = -1;
    trialRecords_ = &ownRecords_;
}

COrvixDoc::~COrvixDoc()
{
    DestroyControlPanel();
    if (g_activeDoc == this)
        g_activeDoc = nullptr;
    if (g_taskRunner.GetDocument() == this)
        g_taskRunner.SetDocument(nullptr);
    g_deviceIO.DetachDocument(this);
}

} // namespace orvix
