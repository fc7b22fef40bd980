// The display card the runtime runs on, chosen once and remembered in the per-user profile
// (section "VorlixStateData": BEST3DCARD, the card's description, and BEST3DDEPTH, the depth it
// draws 3D at). When BEST3DCARD holds "**ask**" the player picks a card on a screen in the runtime's
// window, the card is tried for 3D at 640x480 in 16, 24 and 32 bits, and a second screen shows what
// it supports; afterwards the stored card and depth are used silently. Start-up runs the choice
// before DirectDraw exists; the name it leaves in gChosenCardName decides the driver that
// EnumerateDisplayCards takes.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win/types.h"

namespace vx {

// --- State -----------------------------------------------------------------------------------------
constexpr size_t kMaxDisplayCards = 5;
struct AdapterState {
  std::vector<std::string> gDisplayCards;  // driver descriptions in enumeration order, at most 5
  std::string gPrimaryCardDescription;     // the driver with the null GUID
  uint8_t gCardScreenShown = 0;            // the window shows a card screen
  int32_t gCardScreenMode = 0;             // 1 the choice, 2 the capabilities
  // What the capability screen reports: 3D, alpha blending, texture filtering, fog (1 yes).
  std::array<int32_t, 4> gCardCapabilities{};
};
extern AdapterState gAdapterState;  // the one instance (display/adapter_choice.cpp)
inline AdapterState& Adapter() { return gAdapterState; }

using CardScreenSleep = void (*)(win::DWORD milliseconds);
extern CardScreenSleep gCardScreenSleep;

// --- Names -----------------------------------------------------------------------------------------
constexpr const char* kPrimaryCardName = "Primary Display Driver";
constexpr const char* kAskForCard = "**ask**";  // the stored card that brings the screens back
// Card names match without regard to letter case, wherever they are compared.
bool SameCardName(const std::string& a, const std::string& b);
// BEST3DDEPTH as stored: 16, 24 or 32; any other text gives 16.
int16_t StoredDisplayDepth(const std::string& text);

// --- The choice --------------------------------------------------------------------------------------
// Reads the stored card and depth, and runs the screens and the probe when the card is "**ask**".
// false when the player ended the program on a screen (a quit, Esc or the window closed); the quit
// message is then waiting again.
bool ChooseBestDisplayCard(win::HWND window);
// Fills gDisplayCards (and gPrimaryCardDescription) from the driver enumeration.
void ListDisplayCards();
// gChosenCardName = the card the player picks with the keys 1 to the number of cards; with one
// card, that card at once. false on a quit.
bool AskBestDisplayCard(win::HWND window);
// Tries the chosen card at 640x480 in 16, 24 and 32 bits until one gives a hardware 3D device;
// depth is that depth (16 when none did). 1 when one did.
int32_t ProbeBest3DDepth(int32_t& has3D, int16_t& depth, int32_t& alphaBlending, int32_t& filtering, int32_t& fog);
// Shows the four values until a key or a click. false on a quit.
bool ShowCardCapabilitiesAndWait(win::HWND window, const std::array<int32_t, 4>& values);
// Draws the card screen of gCardScreenMode into the window's client area.
void ShowCardChoiceScreen(win::HWND window);

}  // namespace vx
