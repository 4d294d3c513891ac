#pragma once
// What the HUDs show a person: the shared HUD's status (sh::ProgressHUD) and the label and detail
// of each HUD on a view (vh::ProgressHUD). A tester reads them here; a run report hears each text as
// it comes on screen. Main thread only.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sh {

// Told of each text as a HUD comes to show it (a HUD that shows the same text again tells no one).
using HUDTextObserver = std::function<void(std::string_view text)>;
std::uint64_t addHUDTextObserver(HUDTextObserver observer);
void removeHUDTextObserver(std::uint64_t token);
// The HUD classes tell the observers here.
void announceHUDText(std::string_view text);

// The texts the HUDs on screen show: the shared HUD's status while it shows, then the label and
// detail of each view HUD shown in the key window, the newest last; those not empty.
std::vector<std::string> hudTextsOnScreen();

} // namespace sh
