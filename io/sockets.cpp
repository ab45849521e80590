#include "io/sockets.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>

#include "io/deviceio.h"
#include "io/iohost.h"

namespace orvix {

namespace {

// Notifiers belong to the event loop of the application. A link may close from inside its
// own notification (a failed receive), so the notifier is deleted later, by the loop; after
// the application is gone (static destruction at exit) it is left to the process end.
void DropNotifier(QSocketNotifier*& notifier)
{
    if (!notifier)
        return;
    if (QCoreApplication::instance()) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    notifier = nullptr;
}

} // namespace

// ---- Command socket ----

CCmdSocket::~CCmdSocket() { Close(); }

bool CCmdSocket::Create(IIoHost* host)
{
    host_ = host;
    Close();
    int error = socket_.Create();
    errno = error;
    return error == 0;
}

int CCmdSocket::Connect(const std::string& host, int port, int timeoutMs)
{
    // The socket Create made is the one connected.
    DropNotifier(notifier_);
    notify_ = false;
    int error = socket_.Connect(host, port, timeoutMs);
    if (error)
        return error;
    // Notification needs the event loop of this thread; without one, SetNotify says so.
    if (QAbstractEventDispatcher::instance()) {
        notifier_ = new QSocketNotifier(socket_.Fd(), QSocketNotifier::Read);
        notifier_->setEnabled(false);
        QObject::connect(notifier_, &QSocketNotifier::activated, [this] { OnActivated(); });
    }
    return 0;
}

void CCmdSocket::Close()
{
    DropNotifier(notifier_);
    notify_ = false;
    socket_.Close();
}

bool CCmdSocket::SetNotify(bool on)
{
    // Switching off only records the wish: nothing runs the event loop while it is off, and
    // a notification that comes later is dropped in OnActivated. So the acknowledgement wait,
    // which switches off and on again for each command, costs nothing here.
    notify_ = on && socket_.IsOpen();
    if (notify_)
        Arm();
    return !notify_ || notifier_;
}

void CCmdSocket::NoteReceived() { ++receives_; }

void CCmdSocket::Arm()
{
    if (notifier_ && notify_ && !notifier_->isEnabled())
        notifier_->setEnabled(true);
}

void CCmdSocket::OnActivated()
{
    // Notified once; notified again only after a receive, so data that nobody reads (the
    // renderer not yet announced) do not keep the loop busy.
    if (!notifier_)
        return;
    notifier_->setEnabled(false);
    if (!notify_)
        return;
    unsigned before = receives_;
    OnReceive(0);
    if (receives_ != before)
        Arm();
}

void CCmdSocket::OnReceive(int error)
{
    if (host_)
        host_->OnRendererReceive();
}

void CCmdSocket::OnClose(int error)
{
    if (owner_)
        owner_->OnRendererClosed();
    notify_ = false;
    if (notifier_)
        notifier_->setEnabled(false);
}

// ---- Console socket ----

CConsoleSocket::~CConsoleSocket() { Close(); }

bool CConsoleSocket::Create()
{
    created_ = true;
    return true;
}

int CConsoleSocket::Connect(const std::string& host, int port, int timeoutMs)
{
    DropNotifier(notifier_);
    int error = socket_.Connect(host, port, timeoutMs);
    if (error)
        return error;
    if (QCoreApplication::instance()) {
        notifier_ = new QSocketNotifier(socket_.Fd(), QSocketNotifier::Read);
        QObject::connect(notifier_, &QSocketNotifier::activated, [this] { OnReceive(0); });
    }
    return 0;
}

void CConsoleSocket::Close()
{
    DropNotifier(notifier_);
    socket_.Close();
    created_ = false;
}

void CConsoleSocket::OnReceive(int error)
{
    char buffer[kReceiveSize];
    long n = socket_.Recv(buffer, sizeof buffer, 0);
    if (n == kRecvClosed || n == kRecvError) {
        // The renderer's console is gone: stop listening, or the notifier would fire for ever.
        if (notifier_)
            notifier_->setEnabled(false);
        return;
    }
    if (n <= 0)
        return;
    ProcessText(std::string(buffer, static_cast<size_t>(n)));
}

void CConsoleSocket::ProcessText(const std::string& text)
{
    size_t start = 0;
    for (size_t lf = text.find('\n'); lf != std::string::npos; lf = text.find('\n', start)) {
        pending.append(text, start, lf - start);
        start = lf + 1;
        if (pending == "Inventor started!" && io_)
            io_->SetRendererRunning(true);
        while (pending.size() > kBreakLength) {
            size_t blank = pending.find(' ', kBreakFrom);
            if (blank == std::string::npos)
                break;
            AddLine(pending.substr(0, blank));
            pending.erase(0, blank + 1);
        }
        AddLine(pending);
        pending.clear();
    }
    pending.append(text, start, std::string::npos);
    // A peer that never ends its line must not grow the buffer without bound.
    if (pending.size() > kMaxPendingLine) {
        AddLine(pending);
        pending.clear();
    }
}

void CConsoleSocket::AddLine(const std::string& line)
{
    // The panel shows the most recent lines; a long session keeps only those.
    if (lines.size() >= kMaxKeptLines)
        lines.erase(lines.begin(), lines.begin() + static_cast<long>(lines.size() - kMaxKeptLines + 1));
    lines.push_back(line);
    if (io_)
        io_->Log(line);
}

} // namespace orvix
