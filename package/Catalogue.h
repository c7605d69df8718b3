// The archive's catalogue: the operation on an archive file up to the extraction pass (end record,
// comment, central directory, selection), view mode, and memory input.
#pragma once

#include <cstdint>

namespace tarrow {

class CodePage;
class Operation;
struct CentralHeader;

// Runs the whole operation on the archive file named in the settings: lists in view mode, else
// walks the catalogue and hands it to runExtractionPass.
void operateOnArchive(Operation& op);
// The operation up to the extraction pass: finds the end record and the central directory and,
// unless in view mode, walks it into op.catalogue (selected, supported members, warnings raised
// for the others). False when there is nothing to go on with (an error raised, or no directory).
// With memory input the block is taken as a whole archive.
bool readCatalogue(Operation& op);
// Runs the operation on the memory block of Tarrow_FromMemory.
void operateOnMemory(Operation& op);

// Reads the next central directory header with its name, extra field and comment into op.header:
// zip64 values replace saturated ones and the name is converted to UTF-8 where it can be. False
// after error 51, 3 or 2.
bool readCentralHeader(Operation& op, uint64_t index);

// The fixed part of a central directory header (kCentralHeaderSize bytes, signature included) into
// h; name and extra field are left to the caller.
void parseCentralFixed(const unsigned char* bytes, CentralHeader& h);
// Completes a header whose raw name and extra field are in place: zip64 values replace saturated
// ones, and the name becomes UTF-8 where it can, ending at its first NUL, at most kMaxNameLength bytes;
// a name empty then is taken from a matching Unicode path field, else is "member-N" (N = index + 1).
// codePage is the one the caller chose for names, or null.
void finishCentralHeader(CentralHeader& h, uint64_t index, const CodePage* codePage);

}  // namespace tarrow
