// The experimenter's keyboard as the task's KeyDown built-in asks it: whether a key, named
// by its Windows virtual-key code, is down at this moment. Shift, Ctrl, Alt and the mouse
// buttons are asked of the window system, the left and right Shift and Ctrl keys told apart
// by the key events; other keys are followed through the key events the program receives.
#pragma once
#include <QObject>
#include <set>

namespace orvix {

// The Windows virtual-key code of a Qt key, 0 for keys without one.
int VirtualKeyOf(int qtKey);

class CKeyboardState : public QObject {
public:
    // Follows the key events of the whole application.
    CKeyboardState();
    ~CKeyboardState() override;

    bool IsKeyDown(int virtualKey) const;
    // Keys are let go when the program loses the keyboard (their release goes elsewhere).
    void ReleaseAll() { down_.clear(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::set<int> down_;
};

} // namespace orvix
