// The Windows virtual-key codes by which tasks name keys (`KeyDown`, the task language's
// VK_ constants), and when a Shift or Ctrl code is down. One table for the task language,
// the main window's keyboard and the task runner's reading without a window.
#pragma once

namespace orvix {

enum VirtualKey : int {
    VK_LBUTTON = 0x01,
    VK_RBUTTON = 0x02,
    VK_MBUTTON = 0x04,
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12,
    VK_PAUSE = 0x13,
    VK_CAPITAL = 0x14,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_PRIOR = 0x21,
    VK_NEXT = 0x22,
    VK_END = 0x23,
    VK_HOME = 0x24,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_INSERT = 0x2D,
    VK_DELETE = 0x2E,
    VK_F1 = 0x70,
    VK_LSHIFT = 0xA0,
    VK_RSHIFT = 0xA1,
    VK_LCONTROL = 0xA2,
    VK_RCONTROL = 0xA3,
};

// The Shift and Ctrl keys held: `shift` and `control` as the window system says now (either
// side), and, where key events name them, the sides held. Without the sides (no window's key
// events to follow) a held key counts for both sides.
struct HeldModifiers {
    bool shift = false, control = false;
    bool sidesKnown = false;
    bool leftShift = false, rightShift = false, leftControl = false, rightControl = false;
};

// KeyDown of a Shift or Ctrl code: 1 or 0; VK_SHIFT and VK_CONTROL are either side,
// VK_LSHIFT ... VK_RCONTROL their own side. -1 for any other code.
constexpr int ModifierKeyDown(int virtualKey, const HeldModifiers& held)
{
    const bool either = !held.sidesKnown;
    switch (virtualKey) {
    case VK_SHIFT: return held.shift;
    case VK_LSHIFT: return held.shift && (either || held.leftShift);
    case VK_RSHIFT: return held.shift && (either || held.rightShift);
    case VK_CONTROL: return held.control;
    case VK_LCONTROL: return held.control && (either || held.leftControl);
    case VK_RCONTROL: return held.control && (either || held.rightControl);
    default: return -1;
    }
}

} // namespace orvix
