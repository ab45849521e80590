// The "Electrode" page: for each of the eight spike channels the micro-electrode it records
// from, whether it is active, its cell number, which channel is the main one, and the depth
// of each micro-electrode.
#pragma once
#include <QWidget>
#include <array>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace orvix {

class COrvixDoc;

class CElectrode : public QWidget {
    Q_OBJECT
public:
    enum {
        IDD = 149,
        IDC_APPLY = 1017,
        IDC_DEPTH_1 = 1088,
        IDC_ELECTRODE_FIRST = 1246, // channel c, electrode e: 1246 + 8c + e
        IDC_ACTIVE_1 = 1310,
        IDC_MAIN_1 = 1318,
        IDC_CELL_SPIN_1 = 1326,
    };
    static constexpr int kMaxCellId = 26;

    explicit CElectrode(COrvixDoc* doc, QWidget* parent = nullptr);

    // Channel 0..7 reloads that channel from the document, a negative one all eight.
    void UpdateFromDoc(int channel);
    void OnApply();
    void OnSelectElectrode(int channel);
    void OnSelectMainChannel();
    void OnActiveChannel(int channel);
    // The cell spin of a channel moved by delta positions (up reports -1).
    void OnCellIdSpin(int channel, int delta);

    QSpinBox* CellSpin(int channel) const { return cellSpins_[static_cast<size_t>(channel)]; }

private:
    void ReadControls();
    void ShowChannel(int c);

    COrvixDoc* doc_;
    std::array<int, 8> depths_{};
    std::array<int, 8> active_{};
    std::array<int, 8> electrode_{};
    int mainChannel_ = 0;

    std::array<QLineEdit*, 8> depthEdits_{};
    std::array<QCheckBox*, 8> activeChecks_{};
    std::array<QButtonGroup*, 8> electrodeGroups_{};
    QButtonGroup* mainGroup_;
    std::array<QSpinBox*, 8> cellSpins_{};
};

} // namespace orvix
