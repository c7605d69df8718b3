#include "rendering/SkinPreview.h"

#include "rendering/WinAMPGraphics.h"

namespace veltrane {
namespace {

// A window set as the viewer's start-up leaves it: the built-in default skin drawn. It is the same
// for every preview, so it is made once and copied.
const SkinWindows& StartedWindows() {
    static const SkinWindows windows = [] {
        SkinWindows w;
        w.LoadDefault();
        return w;
    }();
    return windows;
}

}  // namespace

Dib RenderSkinPreview(const std::string& folder) {
    SkinWindows windows = StartedWindows();
    windows.LoadSkin(folder);
    Dib canvas(kPreviewWidth, kPreviewHeight, 24);
    ComposePreview(windows, canvas);
    return canvas;
}

}  // namespace veltrane
