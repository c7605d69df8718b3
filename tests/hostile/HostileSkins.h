// Skin archives that cost far more than a real skin if nothing bounds them, made at run time: a
// real skin beside gigabytes of deflated zeros, a catalogue whose entries all point at the same
// data, huge bitmaps, sizes that lie, many members, deep folders and an archive inside a skin.
// The tests and the make-hostile-skins program share them.
#pragma once

#include "ZipWriter.h"

#include "platform/Dib.h"
#include "rendering/WinAMPGraphics.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::hostile {

// Raw deflate of size zero bytes, about a thousandth of that: one compressed MiB repeated, each copy
// starting afresh, so a gigabyte costs milliseconds to make.
std::string DeflatedZeros(uint64_t size);
// CRC-32 of size zero bytes.
uint32_t CrcOfZeros(uint64_t size);

// A 24-bit BMP file of one colour.
std::string SolidBitmap(int32_t width, int32_t height, RgbQuad colour);
// An 8-bit run-length BMP file of zeros: a few hundred kilobytes for 8192 x 8192 pixels.
std::string ZeroRleBitmap(int32_t width, int32_t height);

// The files of a small skin: a main.bmp of the given colour and a PLEDIT.TXT, in folder ("" or
// ending in "/").
std::vector<ziptest::Member> SmallSkin(const std::string& folder, RgbQuad colour);

// The archive's bytes with its central directory entry `entry` repeated until there are `count`,
// every copy pointing at the same local header; names get a number in place of their last digits.
ziptest::Bytes RepeatCentralEntry(const ziptest::Bytes& archive, uint16_t count);
// The archive's bytes with the first member's local header declaring another uncompressed size.
ziptest::Bytes WithLocalSize(ziptest::Bytes archive, uint32_t size);

struct HostileSkin {
    std::string file;  // archive name, ".wsz"
    ziptest::Bytes bytes;
    bool renders = false;                  // veltrane-preview renders the skin in it, however it reads archives
    bool refused = false;                  // the budget refuses it: nothing of it is shown or kept
    bool onlyUnreadMemberDamaged = false;  // a reading that decodes only the skin's files renders it
    std::string reason;                    // for a skin that fails: what veltrane-preview says about it
};

// The whole hostile set; takes well under a second.
std::vector<HostileSkin> MakeHostileSkins();

struct SelectionCost {
    uint64_t peakBytes = 0;  // the most tempFolder held: after each message of the library's
                             // main call (each block it writes) and when the skin was loaded
    double seconds = 0;
    bool folderHeldFiles = false;  // the folder the skin was loaded from was not empty
};

// Selects archive as the viewer does (its selection pipeline with the archive library, which the
// caller has pointed SetPackageLibraryFolder at) and loads the skin into windows. Measuring the
// bytes walks the folder after every message, which costs time of its own: time a second run.
SelectionCost SelectLikeTheViewer(const std::string& archive, const std::string& tempFolder, SkinWindows& windows,
                                  bool measureBytes = true);

}  // namespace veltrane::hostile
