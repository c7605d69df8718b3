// One skin's preview without a display: a fresh window set shows the built-in default skin, as the
// viewer's windows do after start-up, then loads the skin folder, and the three windows are stacked
// into a 275 x 350 picture. The result never depends on a skin rendered before.
#pragma once

#include "platform/Dib.h"

#include <string>

namespace veltrane {

class SkinFiles;

// The preview of the skin in folder (a folder holding the skin's bitmaps), 24 bits per pixel.
Dib RenderSkinPreview(const std::string& folder);
// The same from a skin's files wherever they lie.
Dib RenderSkinPreview(const SkinFiles& files);

// Makes the started window set every preview begins from, which is otherwise made by the first
// preview: a process that forks workers calls it first, so that they share it instead of each
// painting the default skin again.
void PrepareSkinPreviews();

}  // namespace veltrane
