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

template <typename Skin>
Dib Render(const Skin& skin) {
    SkinWindows windows = StartedWindows();
    windows.LoadSkin(skin);
    Dib canvas(kPreviewWidth, kPreviewHeight, 24);
    ComposePreview(windows, canvas);
    return canvas;
}

}  // namespace

Dib RenderSkinPreview(const std::string& folder) { return Render(folder); }

Dib RenderSkinPreview(const SkinFiles& files) { return Render(files); }

void PrepareSkinPreviews() { StartedWindows(); }

}  // namespace veltrane
