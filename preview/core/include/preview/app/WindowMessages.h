#pragma once
#include "platform/Window.h"

// Window messages of the desktop program (WM_LOG_TEXT lives with LogText).
namespace veldan::preview {

// To the head pane: re-evaluate every control for the current state.
constexpr veldan::UINT WM_HEAD_REFRESH = veldan::WM_USER + 1;
// To the bound view: a tile's picture or shooting mark changed
// (wParam the tile number, lParam 0).
constexpr veldan::UINT WM_TILE_CHANGED = veldan::WM_USER + 2;

}  // namespace veldan::preview
