#include "rendering/SkinPreview.h"

#include "rendering/WinAMPGraphics.h"

namespace veltrane {

Dib RenderSkinPreview(const std::string& folder) {
    SkinWindows windows;
    windows.LoadDefault();
    windows.LoadSkin(folder);
    Dib canvas(kPreviewWidth, kPreviewHeight, 24);
    ComposePreview(windows, canvas);
    return canvas;
}

}  // namespace veltrane
