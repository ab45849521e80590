#include "views/framebars.h"

#include <QColor>
#include <QComboBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>

#include "document/commandtarget.h"
#include "document/orvixdoc.h"
#include "platform/text/qtext.h"
#include "views/framelogic.h"
#include "views/viewcommands.h"

namespace orvix {

namespace {
constexpr int kImageWidth = 44;
constexpr int kImageHeight = 24;
constexpr int kButtonWidth = 51;
constexpr int kButtonHeight = 43;
constexpr int kSegments = kLevelImageCount - 1;

int ChannelCommand(int channel)
{
    return channel == 0 ? ICommandTarget::ID_CHANNEL_0 : ICommandTarget::ID_CHANNEL_1 + channel - 1;
}

QString Name(int id) { return QStringLiteral("ctl%1").arg(id); }
} // namespace

QPixmap LevelImage(int index)
{
    // A meter of twelve segments, green to red from the left; the first `index` are lit.
    QPixmap image(kImageWidth, kImageHeight);
    image.fill(QColor(192, 192, 192));
    QPainter painter(&image);
    const int segment = (kImageWidth - 4) / kSegments;
    for (int i = 0; i < kSegments; ++i) {
        int hue = 120 - i * 120 / (kSegments - 1); // green .. red
        QColor lit = QColor::fromHsv(hue, 255, 230);
        QRect r(2 + i * segment, 4, segment - 1, kImageHeight - 8);
        painter.fillRect(r, i < index ? lit : QColor(96, 96, 96));
    }
    return image;
}

CChannelBar::CChannelBar(COrvixDoc& doc, std::function<void(int)> command, QWidget* parent)
    : QToolBar("Channels", parent), doc_(doc)
{
    setObjectName("ChannelBar");
    setIconSize(QSize(kImageWidth, kImageHeight));
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (ch > 0)
            addSeparator();
        auto* button = new QToolButton(this);
        button->setObjectName(QStringLiteral("channel%1").arg(ch));
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setIconSize(QSize(kImageWidth, kImageHeight));
        button->setMinimumSize(kButtonWidth, kButtonHeight);
        button->setIcon(QIcon(LevelImage(0)));
        button->setToolTip(QStringLiteral("Channel %1").arg(ch));
        int id = ChannelCommand(ch);
        connect(button, &QToolButton::clicked, this, [this, command, id] {
            command(id);
            UpdateChecks();
        });
        addWidget(button);
        buttons_[static_cast<size_t>(ch)] = button;
        UpdateChannelButton(ch);
    }
    UpdateChecks();
    ShowChannelLevels(doc_.GetChannelLevels());
    doc_.AddObserver(this);
}

CChannelBar::~CChannelBar() { doc_.RemoveObserver(this); }

void CChannelBar::ShowChannelLevels(const std::array<int, kChannelCount>& levels)
{
    for (int ch = 0; ch < kChannelCount; ++ch) {
        int image = ChannelLevelImage(levels[static_cast<size_t>(ch)]);
        if (image == images_[static_cast<size_t>(ch)] && !buttons_[static_cast<size_t>(ch)]->icon().isNull())
            continue;
        images_[static_cast<size_t>(ch)] = image;
        buttons_[static_cast<size_t>(ch)]->setIcon(QIcon(LevelImage(image)));
    }
}

void CChannelBar::UpdateChannelButton(int channel)
{
    if (channel < 0 || channel >= kChannelCount)
        return;
    buttons_[static_cast<size_t>(channel)]->setText(ToQ(ChannelButtonText(doc_, channel)));
}

void CChannelBar::UpdateChecks()
{
    for (int ch = 0; ch < kChannelCount; ++ch)
        buttons_[static_cast<size_t>(ch)]->setChecked(doc_.GetSelectedChannel() == ch);
}

CDialogBar::CDialogBar(QWidget* parent) : QToolBar("Dialog bar", parent)
{
    setObjectName("DialogBar");
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(4, 2, 4, 2);
    row->addWidget(new QLabel("Comment:", box));
    comment = new QLineEdit(box);
    comment->setObjectName(Name(IDC_COMMENT));
    // The application's function keys leave keys typed here to the frame's comment keys.
    comment->setProperty("orvixCommentEdit", true);
    comment->setMinimumWidth(240);
    row->addWidget(comment, 2);
    trialNumber = new QLabel("no trial", box);
    trialNumber->setObjectName(Name(IDC_TRIAL_NUMBER));
    trialNumber->setMinimumWidth(56);
    row->addWidget(trialNumber);
    row->addSpacing(12);
    row->addWidget(new QLabel("File:", box));
    inputFile = new QComboBox(box);
    inputFile->setObjectName(Name(IDC_INPUT_FILE));
    inputFile->setEditable(true);
    inputFile->setInsertPolicy(QComboBox::NoInsert);
    inputFile->setMinimumWidth(240);
    row->addWidget(inputFile, 3);
    auto button = [&](int id, const char* text) {
        auto* b = new QPushButton(text, box);
        b->setObjectName(Name(id));
        b->setFixedWidth(32);
        row->addWidget(b);
        return b;
    };
    first = button(IDC_FIRST_FILE, "| <");
    previous = button(IDC_PREVIOUS_FILE, "<");
    next = button(IDC_NEXT_FILE, ">");
    last = button(IDC_LAST_FILE, "> |");
    position = new QLabel("no file", box);
    position->setObjectName(Name(IDC_FILE_POSITION));
    position->setMinimumWidth(72);
    row->addWidget(position);
    addWidget(box);
}

} // namespace orvix
