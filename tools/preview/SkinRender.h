// One skin's preview picture, from a skin folder or a skin archive. An archive is unpacked the way
// the viewer's selection does it (the same library calls, the same search for the folder holding
// main.bmp, the same clean-up) inside a private working folder below tempFolder. Unlike the viewer,
// which shows whatever arrived, a damaged archive or a skin without a readable main.bmp is refused
// with a reason, so that a batch run never saves the default skin under a skin's name.
#pragma once

#include "SkinSources.h"

#include "platform/Dib.h"

#include <string>

namespace veltrane::preview {

// How an archive is read: straight from memory, or unpacked into the temporary folder by the
// viewer's selection pipeline. Both give the same previews.
enum class ArchiveReading { InMemory, ViaFiles };

struct SkinFacts;

// The preview of source into canvas (275 x 350, 24 bits), or false with error set to a short reason.
// tempFolder ends with "/" and is used only for ViaFiles; nothing is left in it afterwards. facts,
// when given, gets the skin's facts as far as they could be read (all of them when it rendered),
// except shaped and hash, which depend on how the preview is written. Through ViaFiles the texts
// are those of the skin's own folder.
bool RenderSkinSource(const SkinSource& source, const std::string& tempFolder, Dib& canvas, std::string& error,
                      ArchiveReading reading = ArchiveReading::InMemory, SkinFacts* facts = nullptr);

// Every skin allocates and frees the same few large buffers (bitmaps, the library's working
// buffers, the encoder's). Called once before rendering many skins, it keeps such buffers on the
// heap instead of mapping and unmapping them each time, so they cost no page faults after the
// first skin; the heap stays as large as one skin needs.
void KeepLargeBuffersOnTheHeap();

}  // namespace veltrane::preview
