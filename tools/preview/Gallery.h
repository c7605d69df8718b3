// A gallery folder: the previews of a collection of skins (in its preview folder), the index.html
// and skins.json that show them, and the manifest that lets a rerun render only what is new or
// changed, and write nothing when nothing is. Skins of
// the same name in different folders each get a preview of their own. The gallery only ever
// replaces or removes files it has recorded as its own.
#pragma once

#include "GalleryManifest.h"
#include "PreviewOptions.h"
#include "SkinSources.h"

#include <cstddef>
#include <unordered_set>
#include <string>
#include <vector>

namespace veltrane::preview {

class Gallery {
public:
    // FailedBefore: failed in an earlier run and unchanged since, so not tried again (but with force).
    enum class State { Unchanged, Pending, Rendered, Failed, FailedBefore };
    struct Skin {
        SkinSource source;
        std::string path;  // absolute and normalised: the skin's key in the manifest
        SkinStamp stamp;
        std::string preview;  // file name in the preview folder
        State state = State::Pending;
        std::string reason;                   // why it failed
        SkinFacts facts;                      // as rendered now, or as the manifest kept them for an unchanged skin
        uint64_t textAt = 0, textLength = 0;  // an unchanged skin's text in the texts file
    };

    // Makes the folder and its preview folder, reads the manifest, names each skin's preview and
    // decides which must be rendered (all of them when force). A skin given twice is kept once.
    // False with error set when the folder cannot be made, or when it holds an index.html or a
    // skins.json but no manifest (the files of something else) and force is not set.
    bool Open(const std::string& folder, const SkinSourceList& sources, ImageFormat format, int quality, bool force,
              std::string& error);

    const std::vector<Skin>& Skins() const { return m_skins; }
    // The indexes of the skins still to render.
    std::vector<std::size_t> Pending() const;
    // Where skin i's preview is written.
    std::string PreviewPath(std::size_t i) const;
    // The outcome of rendering skin i, with what was learnt about it.
    void Record(std::size_t i, bool rendered, const std::string& reason, SkinFacts facts = {});

    // Writes the texts file and the manifest, then skins.json and index.html where their bytes
    // change, and removes the previews of skins that are no longer in the gallery or failed this
    // time. Skins still pending are listed as not rendered. Writes nothing at all when every skin
    // is unchanged, in the manifest's order, and the page files are as the gallery last wrote them.
    bool Write(std::string& error);
    std::string PagePath() const;

private:
    bool NothingChanged() const;
    // The texts of the unchanged skins, out of the texts file into their facts.
    void ReadKeptTexts();
    // Writes text into file unless it holds these bytes as the gallery last wrote them there.
    bool WritePageFile(const std::string& file, const std::string& text, WrittenFile& written, std::string& error);

    std::string m_folder, m_previews, m_format, m_extension;
    std::vector<Skin> m_skins;
    std::unordered_set<std::string> m_recorded;  // preview files the last manifest named
    GalleryManifest m_last;                      // the last manifest's header; its records' skins in m_lastSkins
    std::vector<std::string> m_lastSkins;
};

// The stamp of a skin: for an archive its size and time; for a skin folder the total size and the
// latest time of the folder and the files directly in it. Zero when it cannot be read.
SkinStamp StampOf(const SkinSource& source);
// The stamps of all the sources, in their order.
std::vector<SkinStamp> StampsOf(const SkinSourceList& sources);

// A file name for the preview of a skin called name: the name with bytes that are not UTF-8, control
// characters and characters other systems refuse in file names (\ : * ? " < > |) replaced by "_",
// cut to at most 200 bytes at a character boundary, never empty, ".", "..", nor starting with ".".
std::string PreviewBaseName(const std::string& name);

// The lowercase form under which two file names clash on a file system that ignores letter case.
std::string FoldedName(const std::string& name);

}  // namespace veltrane::preview
