#pragma once

namespace korvel {

// The product title: window title, status pane text and the caption of every
// message box that names no condition of its own.
inline constexpr char16_t kAppTitle[] = u"Korvel Lumquist v22.0";
inline constexpr char kAppTitleUtf8[] = "Korvel Lumquist v22.0";
inline constexpr char kAppVersion[] = "22.0";

}  // namespace korvel
