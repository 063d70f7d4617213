#pragma once
#include "platform/Window.h"

// Window messages of the desktop program (WM_LOG_TEXT lives with LogText).
namespace veldan::preview {

// To the head pane: re-evaluate every control for the current state.
constexpr veldan::platform::UINT WM_HEAD_REFRESH = veldan::platform::WM_USER + 1;
// To the bound view: a tile's picture or shooting mark changed
// (wParam the tile number, lParam 0).
constexpr veldan::platform::UINT WM_TILE_CHANGED = veldan::platform::WM_USER + 2;

}  // namespace veldan::preview
