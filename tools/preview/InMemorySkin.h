// A skin archive rendered straight from memory through the library's handle interface: the archive
// is read once, its catalogue once, and only the members the windows look up are decoded, each into
// a buffer of its declared size; nothing is written anywhere. The skin folder and its files are the ones the selection
// pipeline would load from after unpacking: member paths made as the extraction makes them, merged without regard to
// letter case (the later of two members wins, under the first one's name), and the folder holding main.bmp found as the
// pipeline finds it.
#pragma once

#include "platform/Dib.h"
#include "rendering/SkinFiles.h"
#include "tarrow_archive.h"

#include <cstddef>
#include <string>
#include <vector>

namespace veltrane::preview {

// The files of the skin folder the pipeline would load from: entries for SkinMemberFiles and, for
// each, the index of its archive member (folders have none). conflict is set when unpacking would
// have failed to create one of the paths (a file where a folder is, or the other way round).
struct ArchiveSkinFolder {
    std::string folder;  // relative, "" or ending in "/"
    std::vector<SkinMemberFiles::Entry> entries;
    std::vector<std::size_t> members;  // parallel to entries; SIZE_MAX for a folder
    bool conflict = false;
};
// members are the archive's entries in catalogue order; each lies where extraction would write it.
ArchiveSkinFolder FindArchiveSkinFolder(const std::vector<tarrow_entry>& members);

struct SkinFacts;

// The preview of the skin archive at path into canvas, or false with error set as the file-based
// path words it for the same archive. facts, when given, gets what the archive tells about the
// skin (its size at once; texts, cursors and newest time once the catalogue is read and within
// the skin budget; the bitmaps' facts once rendered).
bool RenderArchiveInMemory(const std::string& path, Dib& canvas, std::string& error, SkinFacts* facts = nullptr);

}  // namespace veltrane::preview
