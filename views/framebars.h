// The main frame's bars: the channel tool bar (a button per channel showing its mean rate
// on a level scale and its electrode, cell and state) and the dialog bar (the trial comment
// and the input-file navigator).
#pragma once
#include <QPixmap>
#include <QToolBar>
#include <array>
#include <functional>

#include "document/observer.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace orvix {

class COrvixDoc;

// The level scale's image i (0..12): i of twelve segments lit.
QPixmap LevelImage(int index);

class CChannelBar : public QToolBar, public IDocObserver {
public:
    // command(id): a channel button was pressed (the View menu's "Channel &n").
    CChannelBar(COrvixDoc& doc, std::function<void(int)> command, QWidget* parent = nullptr);
    ~CChannelBar() override;

    // image = level / 5, 0..12, for each channel.
    void ShowChannelLevels(const std::array<int, kChannelCount>& levels);
    void UpdateChannelButton(int channel);
    // The checked button follows the document's selected channel.
    void UpdateChecks();
    QToolButton* Button(int channel) const { return buttons_.at(static_cast<size_t>(channel)); }
    int ImageOf(int channel) const { return images_.at(static_cast<size_t>(channel)); }

    void OnChannelChanged(int channel) override { UpdateChannelButton(channel); }
    void OnChannelLevels(const std::array<int, kChannelCount>& levels) override { ShowChannelLevels(levels); }

private:
    COrvixDoc& doc_;
    std::array<QToolButton*, kChannelCount> buttons_{};
    std::array<int, kChannelCount> images_{};
};

// The dialog bar's controls; the frame does the work.
class CDialogBar : public QToolBar {
public:
    explicit CDialogBar(QWidget* parent = nullptr);

    QLineEdit* comment;      // 1006
    QLabel* trialNumber;     // 1084, "no trial" at first
    QComboBox* inputFile;    // 1085, the history in its list
    QPushButton* first;      // 1129 "| <"
    QPushButton* previous;   // 1086 "<"
    QPushButton* next;       // 1087 ">"
    QPushButton* last;       // 1130 "> |"
    QLabel* position;        // 1128, "%d of %d" or "no file"
};

} // namespace orvix
