// Asynchronous key state by virtual key, with a replaceable source so that tests inject keys.
#pragma once
#include "platform/win/types.h"

namespace vx::win {

// Virtual keys named by the platform layer (VK_ESCAPE, VK_F11 and VK_F12 are in types.h).
// Letters and digits are their upper-case ASCII codes.
constexpr int VK_LBUTTON = 0x01;
constexpr int VK_RBUTTON = 0x02;
constexpr int VK_MBUTTON = 0x04;
constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;
constexpr int VK_SPACE = 0x20;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_NUMPAD0 = 0x60;
constexpr int VK_F1 = 0x70;
constexpr int VK_LSHIFT = 0xA0;
constexpr int VK_RSHIFT = 0xA1;
constexpr int VK_LCONTROL = 0xA2;
constexpr int VK_RCONTROL = 0xA3;
constexpr int VK_LMENU = 0xA4;
constexpr int VK_RMENU = 0xA5;

// Bit 15 set while the key is down; 0 otherwise. The default source first reads the waiting
// platform events, so a loop that waits for a key to be released ends.
int16_t GetAsyncKeyState(int virtualKey);

using KeyStateSource = int16_t (*)(int virtualKey);
// Replaces where key states come from; nullptr returns to the default source.
void SetKeyStateSource(KeyStateSource source);

// The default source's table, kept by the window layer from its key and button events. A
// left or right modifier also sets the side-less key (VK_SHIFT for VK_LSHIFT) while either is down.
void SetKeyDown(int virtualKey, bool down);
// The table alone, without reading platform events first.
bool KeyIsDown(int virtualKey);
// Marks every key up (focus lost: the key-up events will not come).
void ClearKeyStates();

}  // namespace vx::win
