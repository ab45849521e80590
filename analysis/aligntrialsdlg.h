// CAlignTrialsDlg: the "Align trials" dialog. It switches the alignment of trials on the
// figure onset on and off and sets the FIG_ON display delay and the display's frame rate,
// by typing, by the sliders (the rate's slider fine-tunes it by up to 0.001 Hz) or by the
// estimate from the recorded spikes. What it changes goes into the document at once (the
// typed delay with Apply), and the views redraw.
#pragma once
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace orvix {

class COrvixDoc;

class CAlignTrialsDlg : public QDialog {
public:
    enum {
        IDD = 159,
        IDC_ALIGN = 1186, IDC_DELAY = 1187, IDC_FRAME_RATE = 1188, IDC_DELAY_SLIDER = 1189,
        IDC_RATE_SLIDER = 1190, IDC_AUTO_DELAY = 1191, IDC_NOTE = 1192,
    };
    // The delay slider counts 0.01 ms, the rate slider 0.000001 Hz around the base rate.
    static constexpr int kDelaySteps = 1800;
    static constexpr int kRateSteps = 1000;

    CAlignTrialsDlg(QWidget* parent, COrvixDoc* doc);

    void OnAlignCheck();
    void OnHScroll();
    void OnChangeFrameRate();
    void OnAutoDelay();
    // "&Apply": the dialog stays open.
    void OnOK();

    double Delay() const { return delay_; }
    double FrameRate() const { return frameRate_; }
    double BaseFrameRate() const { return baseFrameRate_; }

private:
    void EnableControls();
    // The edits and sliders from the members, without their change handlers running.
    void ShowValues();
    void UpdateViews();

    COrvixDoc* doc_;
    double baseFrameRate_;
    bool align_;
    double delay_;
    double frameRate_;
    bool showing_ = false;

    QCheckBox* alignCheck_;
    QLineEdit* delayEdit_;
    QLineEdit* rateEdit_;
    QSlider* delaySlider_;
    QSlider* rateSlider_;
    QPushButton* auto_;
    QLabel* note_;
};

} // namespace orvix
