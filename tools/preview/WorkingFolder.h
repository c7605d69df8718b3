// Where veltrane-preview unpacks archives. Unpacking creates, writes and deletes every file of a
// skin, so a folder in memory makes archives markedly faster than one on disk.
#pragma once

#include <string>

namespace veltrane::preview {

// The folder (with a trailing "/") that holds the run's working folders: $TMPDIR when it names a
// folder (the user's explicit choice), else the first writable folder of $XDG_RUNTIME_DIR (the
// user's own memory-backed folder), /dev/shm (the system's shared one), /tmp.
std::string WorkingFolderBase();

// The same choice over given values, for tests: tmpdir and runtime may be null.
std::string ChooseWorkingFolderBase(const char* tmpdir, const char* runtime, const std::string& shared);

}  // namespace veltrane::preview
