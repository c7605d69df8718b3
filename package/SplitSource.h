// Byte-split sets: an archive cut into plain pieces NAME.001, NAME.002, ... (no headers of their
// own), read as the one archive they make when joined, given the first piece.
#pragma once

#include "ArchiveCore.h"

#include <cstdio>
#include <memory>
#include <string>

namespace tarrow::core {

// Whether path names the first piece of such a set (it ends in ".001").
bool isFirstPiece(const std::string& path);

// The pieces of the set whose first piece is at path, joined. Null with code TARROW_E_OPEN when a
// piece cannot be read, when a piece is missing between others, or when there are more pieces than
// kMaxPieces. Pieces are opened only while they are read: the set may have any number of them up to
// kMaxPieces without holding a descriptor for each.
std::unique_ptr<Source> splitSource(const std::string& firstPiece, int& code);
inline constexpr size_t kMaxPieces = 65536;

// The set as a read-only, seekable stdio stream, for readers built on one; null when it cannot be
// read. The stream owns what it reads from and releases it on fclose.
FILE* openSplitStream(const std::string& firstPiece);

}  // namespace tarrow::core
