#pragma once
class QWidget;

namespace veldan::preview {

// The visual styles 210 to 218 as palettes over the Fusion style. Unknown
// numbers fall back to the default (216, Office 2007 black).
int NormalizedLook(int look);
void ApplyVisualStyle(int look);
const char* LookName(int look);

}  // namespace veldan::preview
