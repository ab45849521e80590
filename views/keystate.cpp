#include "views/keystate.h"

#include <QApplication>
#include <QGuiApplication>
#include <QEvent>
#include <QKeyEvent>

#include "platform/devices/virtualkeys.h"

namespace orvix {

namespace {

// The window system's names of the left and right Shift and Ctrl keys (X11 and Wayland key
// symbols), which Qt hands on as the key event's native virtual key.
constexpr quint32 kShiftL = 0xffe1, kShiftR = 0xffe2, kControlL = 0xffe3, kControlR = 0xffe4;

int SideOf(quint32 keySymbol)
{
    switch (keySymbol) {
    case kShiftL: return VK_LSHIFT;
    case kShiftR: return VK_RSHIFT;
    case kControlL: return VK_LCONTROL;
    case kControlR: return VK_RCONTROL;
    default: return 0;
    }
}

} // namespace

int VirtualKeyOf(int qtKey)
{
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return 'A' + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return '0' + (qtKey - Qt::Key_0);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return VK_F1 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Pause: return VK_PAUSE;
    case Qt::Key_CapsLock: return VK_CAPITAL;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    default: return 0;
    }
}

CKeyboardState::CKeyboardState()
{
    if (qApp)
        qApp->installEventFilter(this);
}

CKeyboardState::~CKeyboardState()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool CKeyboardState::IsKeyDown(int virtualKey) const
{
    // Which sides are held, the key events say; whether any is, the window system says now,
    // so a release that went to another window leaves no key down. A key pressed while
    // another window had the keyboard reads as neither side until it is pressed again.
    const Qt::KeyboardModifiers now = QGuiApplication::queryKeyboardModifiers();
    HeldModifiers held;
    held.shift = now & Qt::ShiftModifier;
    held.control = now & Qt::ControlModifier;
    held.sidesKnown = true;
    held.leftShift = down_.count(VK_LSHIFT);
    held.rightShift = down_.count(VK_RSHIFT);
    held.leftControl = down_.count(VK_LCONTROL);
    held.rightControl = down_.count(VK_RCONTROL);
    if (int down = ModifierKeyDown(virtualKey, held); down >= 0)
        return down;
    switch (virtualKey) {
    case VK_MENU: return now & Qt::AltModifier;
    case VK_LBUTTON: return QGuiApplication::mouseButtons() & Qt::LeftButton;
    case VK_RBUTTON: return QGuiApplication::mouseButtons() & Qt::RightButton;
    case VK_MBUTTON: return QGuiApplication::mouseButtons() & Qt::MiddleButton;
    default: return down_.count(virtualKey) > 0;
    }
}

bool CKeyboardState::eventFilter(QObject*, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->isAutoRepeat())
            break;
        // A key event travels up the parents: each delivery says the same. A Shift or Ctrl
        // key is kept by its side, when the window system names it.
        int vk = VirtualKeyOf(key->key());
        if (vk == VK_SHIFT || vk == VK_CONTROL)
            vk = SideOf(key->nativeVirtualKey());
        if (vk) {
            if (event->type() == QEvent::KeyPress)
                down_.insert(vk);
            else
                down_.erase(vk);
        }
        break;
    }
    case QEvent::ApplicationDeactivate: ReleaseAll(); break;
    default: break;
    }
    return false;
}

} // namespace orvix
