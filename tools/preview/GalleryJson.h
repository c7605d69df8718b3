// skins.json, the gallery's data for scripts: one object per skin archive or folder, in the order
// of the list given, with everything the gallery knows of it (the manual page lists the fields).
#pragma once

#include "GalleryPage.h"

#include <string>
#include <vector>

namespace veltrane::preview {

inline constexpr const char* kSkinsJsonName = "skins.json";

// The file's text: {"generator":"veltrane-preview","version":1,"skins":[objects]}, one object a line.
std::string BuildSkinsJson(const TileList& tiles);

}  // namespace veltrane::preview
