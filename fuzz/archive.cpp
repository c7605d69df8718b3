// The library's main call over arbitrary archive bytes, in every mode one after the other: view from
// the file, test from memory, extract from the file into a scratch folder, extract from memory into
// it again (so the overwrite handling meets the files just written), and extract from memory into a
// memory buffer. Nothing may be written outside the folder the extraction was given, and never
// past the end of a memory buffer. The input is the archive as it is, so that real archives seed
// the search; the remaining settings follow from its length.
#include "tarrow.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <span>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The scratch folder holds the archive file, the folder "out" that extraction writes into, and the
// folder "current" that is the current folder, where a member read from memory is written under the
// name "-". After each input both are emptied; anything else means a member escaped.
struct Scratch {
    fs::path root, archive, out, current;
    Scratch() {
        char name[] = "/tmp/fuzz-archive-XXXXXX";
        if (!mkdtemp(name)) std::abort();
        root = name;
        archive = root / "in.zip";
        out = root / "out";
        current = root / "current";
        fs::create_directory(current);
    }
    void Reset() {
        std::error_code ec;
        fs::remove(current / "-", ec);
        fs::remove_all(out, ec);
        // Read-only folders restored from the archive stop nothing: remove_all ignores modes as
        // the owner, except for folders without write permission, which are opened up first.
        if (fs::exists(out, ec)) {
            for (auto it = fs::recursive_directory_iterator(out, ec); it != fs::recursive_directory_iterator();
                 it.increment(ec))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
            fs::remove_all(out, ec);
        }
        fs::create_directory(out, ec);
    }
    void CheckNothingEscaped() const {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(root, ec))
            if (entry.path() != archive && entry.path() != out && entry.path() != current) std::abort();
        for (const auto& entry : fs::directory_iterator(current, ec))
            if (entry.path().filename() != "-") std::abort();
    }
};

Scratch& TheScratch() {
    static Scratch scratch;
    return scratch;
}

// Answers every message with "go on", except a request for another disk: no disk ever comes, and a
// host that kept answering OK would be asked again for ever.
int16_t Silent(int32_t, int32_t code, const char*) { return code == TARROW_MSG_DISK ? TARROW_ANSWER_ABORT : 0; }

}  // namespace

namespace {

enum class Source { File, Memory };

void Run(const Scratch& scratch, std::span<const uint8_t> archive, Source source, int32_t (*mode)(int32_t),
         size_t size) {
    Tarrow_Initialise();
    Tarrow_InstallCallback(Silent);
    if (source == Source::Memory) Tarrow_FromMemory(archive.data(), uint32_t(archive.size()));
    else Tarrow_ArchiveName(scratch.archive.c_str());
    Tarrow_ExtractTo(scratch.out.c_str());
    mode(1);
    Tarrow_RestoreStructure(size & 1 ? 1 : 0);
    if (size & 2) Tarrow_Decrypt("password");
    static const int32_t kOverwrite[] = {TARROW_OVERWRITE_ASK, TARROW_OVERWRITE_ALWAYS, TARROW_OVERWRITE_NEVER,
                                         TARROW_OVERWRITE_ALWAYS};
    Tarrow_Overwrite(kOverwrite[(size >> 2) & 3]);
    Tarrow_DisplayComment(size & 16 ? 1 : 0);
    const fs::path before = fs::current_path();
    fs::current_path(scratch.current);
    Tarrow();
    fs::current_path(before);
}

int32_t Extract(int32_t) { return 0; }
int32_t Test(int32_t flag) { return Tarrow_Test(flag); }
int32_t View(int32_t flag) { return Tarrow_View(flag); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> archive(data, size);
    Scratch& scratch = TheScratch();
    scratch.Reset();
    std::FILE* file = std::fopen(scratch.archive.c_str(), "wb");
    if (!file) std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    Run(scratch, archive, Source::File, View, size);
    Run(scratch, archive, Source::Memory, Test, size);
    Run(scratch, archive, Source::File, Extract, size);
    Run(scratch, archive, Source::Memory, Extract, size);
    scratch.CheckNothingEscaped();

    // A buffer exactly as large as its capacity, so that a write past it is caught.
    const uint32_t capacity = size & 32 ? 65536 : uint32_t(size % 997);
    std::vector<uint8_t> buffer(capacity);
    Tarrow_InMemory(data, uint32_t(size), buffer.data(), capacity);
    scratch.CheckNothingEscaped();
    return 0;
}
