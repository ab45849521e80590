// The "Play back" page: replays the document's trials on the renderer from the slider's
// position, in real time, until the last trial or until "&Stop".
#pragma once
#include <QWidget>
#include <memory>
#include <string>

class QLineEdit;
class QPushButton;
class QSlider;
class QTimer;

namespace orvix {

class CDeviceIO;
class COrvixDoc;
class CPlaybackRun;

class CPlayBack : public QWidget {
    Q_OBJECT
public:
    enum {
        IDD = 158,
        IDC_START = 1, // IDOK
        IDC_SLIDER = 1159,
        IDC_TARGET_ON_PARAM = 1160,
        IDC_TARGET_ON_VALUE = 1161,
        IDC_TARGET_OFF_PARAM = 1162,
        IDC_TARGET_OFF_VALUE = 1163,
        IDC_TARGET_FLIP_PARAM = 1164,
        IDC_TARGET_FLIP_VALUE = 1165,
        IDC_FIG_ON_PARAM = 1166,
        IDC_FIG_ON_VALUE = 1167,
        IDC_FIG_OFF_PARAM = 1168,
        IDC_FIG_OFF_VALUE = 1169,
        IDC_KEY_PARAM = 1170,
        IDC_EYE_PARAM = 1171,
    };

    // Trials go to the renderer through the I/O layer.
    CPlayBack(COrvixDoc* doc, CDeviceIO& io, QWidget* parent = nullptr);
    ~CPlayBack() override;

    // Slider range 0 .. trial count - 1, position 0.
    void UpdateRange();
    // "&Start" / "&Stop".
    void OnOK();
    // One pass of a running replay (the page's timer calls it; tests may too).
    void RunPass();
    bool IsPlaying() const { return playing_; }

    QSlider* Slider() const { return slider_; }
    QPushButton* StartButton() const { return start_; }

private:
    void Finish();
    // A field with its text and the name its messages give it ("FIG_ON value").
    QLineEdit* AddField(int id, const char* text, const std::string& name);

    COrvixDoc* doc_;
    CDeviceIO& io_;
    QSlider* slider_;
    QPushButton* start_;
    QTimer* timer_;
    bool playing_ = false;
    int pos_ = 0;
    std::unique_ptr<CPlaybackRun> run_;
};

} // namespace orvix
