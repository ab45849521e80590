#include "views/keystate.h"

#include <QApplication>
#include <QGuiApplication>
#include <QEvent>
#include <QKeyEvent>

namespace orvix {

namespace {
enum : int {
    VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_MBUTTON = 0x04, VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D,
    VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12, VK_PAUSE = 0x13, VK_CAPITAL = 0x14, VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26,
    VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_INSERT = 0x2D, VK_DELETE = 0x2E, VK_F1 = 0x70,
};
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
    switch (virtualKey) {
    case VK_SHIFT: return QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier;
    case VK_CONTROL: return QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier;
    case VK_MENU: return QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier;
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
        // A key event travels up the parents: each delivery says the same.
        if (int vk = VirtualKeyOf(key->key())) {
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
