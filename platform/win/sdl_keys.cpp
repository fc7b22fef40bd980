// SDL's keys as virtual keys: letters by the layout where it types Latin letters, the number row
// always as digits, punctuation by the character it types, the rest by scan code.
#include "platform/win/sdl_keys.h"

#include "platform/win/keyboard.h"

namespace vx::win {

namespace {

int LetterOrDigitKey(SDL_Scancode code) {
  if (code >= SDL_SCANCODE_A && code <= SDL_SCANCODE_Z) return 'A' + (code - SDL_SCANCODE_A);
  if (code >= SDL_SCANCODE_1 && code <= SDL_SCANCODE_9) return '1' + (code - SDL_SCANCODE_1);
  if (code == SDL_SCANCODE_0) return '0';
  return 0;
}

// Keypad keys with Num Lock off act as the navigation keys printed on them.
int KeypadKey(SDL_Scancode code, bool numLock) {
  static constexpr int kNavigation[] = {0x2D, 0x23, 0x28, 0x22, 0x25, 0x0C, 0x27, 0x24, 0x26, 0x21};
  if (code >= SDL_SCANCODE_KP_1 && code <= SDL_SCANCODE_KP_9) {
    const int digit = 1 + (code - SDL_SCANCODE_KP_1);
    return numLock ? VK_NUMPAD0 + digit : kNavigation[digit];
  }
  if (code == SDL_SCANCODE_KP_0) return numLock ? VK_NUMPAD0 : kNavigation[0];
  if (code == SDL_SCANCODE_KP_PERIOD) return numLock ? 0x6E : 0x2E;
  return 0;
}

// Punctuation keys by the character they type, so that the code follows the keyboard layout.
int PunctuationKey(SDL_Keycode key) {
  switch (key) {
    case SDLK_SEMICOLON: return 0xBA;
    case SDLK_EQUALS: return 0xBB;
    case SDLK_COMMA: return 0xBC;
    case SDLK_MINUS: return 0xBD;
    case SDLK_PERIOD: return 0xBE;
    case SDLK_SLASH: return 0xBF;
    case SDLK_BACKQUOTE: return 0xC0;
    case SDLK_LEFTBRACKET: return 0xDB;
    case SDLK_BACKSLASH: return 0xDC;
    case SDLK_RIGHTBRACKET: return 0xDD;
    case SDLK_QUOTE: return 0xDE;
    default: return 0;
  }
}

int ScancodeKey(SDL_Scancode code) {
  if (code >= SDL_SCANCODE_F1 && code <= SDL_SCANCODE_F12) return VK_F1 + (code - SDL_SCANCODE_F1);
  if (code >= SDL_SCANCODE_F13 && code <= SDL_SCANCODE_F24) return 0x7C + (code - SDL_SCANCODE_F13);
  switch (code) {
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER:
    case SDL_SCANCODE_RETURN2: return VK_RETURN;
    case SDL_SCANCODE_ESCAPE: return VK_ESCAPE;
    case SDL_SCANCODE_BACKSPACE: return VK_BACK;
    case SDL_SCANCODE_TAB: return VK_TAB;
    case SDL_SCANCODE_SPACE: return VK_SPACE;
    case SDL_SCANCODE_MINUS: return 0xBD;
    case SDL_SCANCODE_EQUALS: return 0xBB;
    case SDL_SCANCODE_LEFTBRACKET: return 0xDB;
    case SDL_SCANCODE_RIGHTBRACKET: return 0xDD;
    case SDL_SCANCODE_BACKSLASH:
    case SDL_SCANCODE_NONUSHASH: return 0xDC;
    case SDL_SCANCODE_SEMICOLON: return 0xBA;
    case SDL_SCANCODE_APOSTROPHE: return 0xDE;
    case SDL_SCANCODE_GRAVE: return 0xC0;
    case SDL_SCANCODE_COMMA: return 0xBC;
    case SDL_SCANCODE_PERIOD: return 0xBE;
    case SDL_SCANCODE_SLASH: return 0xBF;
    case SDL_SCANCODE_NONUSBACKSLASH: return 0xE2;
    case SDL_SCANCODE_CAPSLOCK: return 0x14;
    case SDL_SCANCODE_PRINTSCREEN: return 0x2C;
    case SDL_SCANCODE_SCROLLLOCK: return 0x91;
    case SDL_SCANCODE_PAUSE: return 0x13;
    case SDL_SCANCODE_INSERT: return 0x2D;
    case SDL_SCANCODE_HOME: return 0x24;
    case SDL_SCANCODE_PAGEUP: return 0x21;
    case SDL_SCANCODE_DELETE: return 0x2E;
    case SDL_SCANCODE_END: return 0x23;
    case SDL_SCANCODE_PAGEDOWN: return 0x22;
    case SDL_SCANCODE_RIGHT: return VK_RIGHT;
    case SDL_SCANCODE_LEFT: return VK_LEFT;
    case SDL_SCANCODE_DOWN: return VK_DOWN;
    case SDL_SCANCODE_UP: return VK_UP;
    case SDL_SCANCODE_NUMLOCKCLEAR: return 0x90;
    case SDL_SCANCODE_KP_DIVIDE: return 0x6F;
    case SDL_SCANCODE_KP_MULTIPLY: return 0x6A;
    case SDL_SCANCODE_KP_MINUS: return 0x6D;
    case SDL_SCANCODE_KP_PLUS: return 0x6B;
    case SDL_SCANCODE_APPLICATION: return 0x5D;
    case SDL_SCANCODE_LCTRL: return VK_LCONTROL;
    case SDL_SCANCODE_RCTRL: return VK_RCONTROL;
    case SDL_SCANCODE_LSHIFT: return VK_LSHIFT;
    case SDL_SCANCODE_RSHIFT: return VK_RSHIFT;
    case SDL_SCANCODE_LALT: return VK_LMENU;
    case SDL_SCANCODE_RALT: return VK_RMENU;
    case SDL_SCANCODE_LGUI: return 0x5B;
    case SDL_SCANCODE_RGUI: return 0x5C;
    default: return 0;
  }
}

}  // namespace

int VirtualKeyOf(const SDL_Keysym& key) {
  const int printed = LetterOrDigitKey(key.scancode);
  if (printed >= '0' && printed <= '9') return printed;  // the number row is the digits on every layout
  if (key.sym >= 'a' && key.sym <= 'z') return static_cast<int>(key.sym - 'a' + 'A');
  if (const int keypad = KeypadKey(key.scancode, (key.mod & KMOD_NUM) != 0)) return keypad;
  if (const int punctuation = PunctuationKey(key.sym)) return punctuation;
  if (printed) return printed;  // a letter key that types no Latin letter on this layout
  return ScancodeKey(key.scancode);
}

}  // namespace vx::win
