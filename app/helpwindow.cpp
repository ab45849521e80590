#include "app/helpwindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QSignalBlocker>
#include <QSplitter>
#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/runtime/library.h"
#include "platform/text/qtext.h"

namespace orvix {

namespace {

// A regular file of the program's own: the user's, root's or that of whoever owns the
// running program. What another user put where the program looks is not shown as its help.
bool IsProgramFile(const std::string& path)
{
    struct stat file, program;
    if (stat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
        return false;
    return file.st_uid == geteuid() || file.st_uid == 0
        || (stat("/proc/self/exe", &program) == 0 && file.st_uid == program.st_uid);
}

} // namespace

std::vector<std::string> DocumentationPlaces()
{
    const std::filesystem::path exe = ExecutableDir();
    std::vector<std::string> places{exe.string(), (exe / "../share/doc/orvix").lexically_normal().string()};
#ifdef ORVIX_SOURCE_DIR
    places.push_back(ORVIX_SOURCE_DIR);
#endif
    return places;
}

std::string FindDocumentation(const std::vector<std::string>& places)
{
    for (const std::string& place : places)
        if (IsProgramFile(place + "/README.md"))
            return place;
    return "";
}

CDocBrowser::CDocBrowser(const std::string& folder, QWidget* parent) : QTextBrowser(parent), folder_(folder)
{
    setOpenExternalLinks(true);
}

QVariant CDocBrowser::loadResource(int type, const QUrl& name)
{
    const QUrl url = name.isRelative() ? source().resolved(name) : name;
    if (!url.isLocalFile())
        return {};
    const QString file = QFileInfo(url.toLocalFile()).canonicalFilePath();
    const QString folder = QFileInfo(PathToQ(folder_)).canonicalFilePath();
    if (file.isEmpty() || folder.isEmpty() || !file.startsWith(folder + '/')
        || !IsProgramFile(PathFromQ(file)))
        return {};
    return QTextBrowser::loadResource(type, QUrl::fromLocalFile(file));
}

CHelpWindow::CHelpWindow(const std::string& folder, QWidget* parent) : QWidget(parent, Qt::Window), folder_(folder)
{
    setWindowTitle("Orvix Help Topics");
    files_.push_back("README.md");
    std::vector<std::string> docs;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder + "/docs", ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".md" && IsProgramFile(it->path().string()))
            docs.push_back("docs/" + it->path().filename().string());
    std::sort(docs.begin(), docs.end());
    files_.insert(files_.end(), docs.begin(), docs.end());

    auto* splitter = new QSplitter(this);
    contents_ = new QListWidget(splitter);
    for (const std::string& file : files_)
        contents_->addItem(PathToQ(file));
    browser_ = new CDocBrowser(folder, splitter);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({200, 800});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    resize(1000, 700);

    connect(contents_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            ShowFile(static_cast<size_t>(row));
    });
    // A link followed to another of the files selects it in the list.
    connect(browser_, &QTextBrowser::sourceChanged, this, [this](const QUrl& url) {
        const QString shown = QFileInfo(url.toLocalFile()).canonicalFilePath();
        for (size_t i = 0; i < files_.size(); ++i)
            if (QFileInfo(PathToQ(folder_ + "/" + files_[i])).canonicalFilePath() == shown) {
                QSignalBlocker quiet(contents_);
                contents_->setCurrentRow(static_cast<int>(i));
            }
    });
    contents_->setCurrentRow(0);
}

void CHelpWindow::ShowFile(size_t index)
{
    if (index < files_.size())
        browser_->setSource(QUrl::fromLocalFile(PathToQ(folder_ + "/" + files_[index])),
                            QTextDocument::MarkdownResource);
}

} // namespace orvix
