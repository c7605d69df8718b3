#include "archive/UnZIP.h"

#include "archive/PackageMessages.h"
#include "platform/CaseLookup.h"
#include "tarrow.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

namespace veltrane {
namespace {

constexpr const char* kLibraryName = "libPackage.so";
constexpr const char* kVersionedLibraryName = "libPackage.so.0";

// The library's exports as its C interface declares them.
using InitialiseFn = void (*)();
using TextSetterFn = int16_t (*)(const char*);
using NumberSetterFn = int16_t (*)(int32_t);
using MainCallFn = int32_t (*)();
using CodeFn = int16_t (*)();
using SetHooksFn = void (*)(const TarrowPlatformHooks*);

struct PackageBinding {
    bool tried = false;
    void* handle = nullptr;
    std::string folder;
    EventPump* pump = nullptr;
};

PackageBinding& Binding() {
    static PackageBinding binding;
    return binding;
}

void* OpenLibrary() {
    PackageBinding& b = Binding();
    if (b.tried) return b.handle;
    b.tried = true;
    if (!b.folder.empty()) b.handle = dlopen((b.folder + kLibraryName).c_str(), RTLD_NOW | RTLD_LOCAL);
    // Then the search path, which for an installed viewer includes its ../lib through its RUNPATH;
    // a system without the development link still has the library under its versioned name.
    if (!b.handle) b.handle = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (!b.handle) b.handle = dlopen(kVersionedLibraryName, RTLD_NOW | RTLD_LOCAL);
    return b.handle;
}

template <typename Fn>
Fn Export(const char* name) {
    void* handle = OpenLibrary();
    return handle ? reinterpret_cast<Fn>(dlsym(handle, name)) : nullptr;
}

}  // namespace

void SetPackageLibraryFolder(const std::string& folder) {
    PackageBinding& b = Binding();
    b.folder = folder;
    if (!b.handle) b.tried = false;  // a new folder gets its chance even after a bind that failed
}

void SetPackageEventPump(EventPump* pump) { Binding().pump = pump; }

bool PackageLibraryLoaded() { return Binding().handle != nullptr; }

namespace {

using CallbackExFn = int16_t (*)(TarrowCallbackEx, intptr_t);

// What the message callback of one main call keeps: the listing it collects, or the bytes the
// members have produced against the limit they are held to.
struct MainCallWatch {
    std::string archive;  // as the library names it in messages
    ArchiveListing* listing = nullptr;
    uint64_t outputLimit = std::numeric_limits<uint64_t>::max();
    uint64_t finished = 0;  // bytes of the members before the current one
    uint64_t current = 0;   // bytes of the current member so far
    uint64_t currentIndex = std::numeric_limits<uint64_t>::max();
    bool stopped = false;
};

int16_t OnMessage(int32_t, int32_t code, const char* text, intptr_t user) {
    MainCallWatch& watch = *reinterpret_cast<MainCallWatch*>(user);
    switch (code) {
    case TARROW_MSG_LISTING:
        if (!watch.listing) return 0;
        if (const auto member = ParseListingMessage(text, watch.archive))
            watch.listing->members.push_back({member->name, member->size});
        else watch.listing->readable = false;
        return 0;
    case TARROW_MSG_WARNING: {
        // "archive|member|code|": a listing that the library recovered names each member so.
        const std::string_view t(text);
        const size_t last = t.size() > 1 ? t.rfind('|', t.size() - 2) : std::string_view::npos;
        if (watch.listing && last != std::string_view::npos &&
            t.substr(last + 1) == std::to_string(TARROW_WARNING_RECOVERED) + "|")
            watch.listing->recovered = true;
        return 0;
    }
    case TARROW_MSG_EXTRACT_START:
    case TARROW_MSG_TEST_START: {
        // Sent at a member's start and after each block it produced, with its bytes so far.
        const auto progress = ParseProgressMessage(text);
        if (!progress) return 0;
        if (progress->memberIndex != watch.currentIndex) {
            watch.finished += std::exchange(watch.current, 0);
            watch.currentIndex = progress->memberIndex;
        }
        watch.current = progress->bytesDone;
        if (watch.current > watch.outputLimit || watch.finished > watch.outputLimit - watch.current) {
            watch.stopped = true;
            return TARROW_ANSWER_ABORT;
        }
        return 0;
    }
    case TARROW_MSG_DISK:
        // A spanned archive asks for another disk; nobody can insert one, as the library's own
        // question answers when it cannot be shown.
        return TARROW_ANSWER_ABORT;
    default: return 0;
    }
}

// What the host hooks of one main call work with.
struct HookContext {
    EventPump* pump = nullptr;
    CaseInsensitivePaths targets;
};

// Names are written as a case-insensitive file system would write them.
int32_t ResolveTargetIgnoringCase(void* context, const char* path, char* resolved, uint32_t capacity) {
    const std::string answer = static_cast<HookContext*>(context)->targets.Resolve(path);
    if (answer.size() >= capacity) return 0;
    std::memcpy(resolved, answer.c_str(), answer.size() + 1);
    return 1;
}

// Makes the main call with the settings already made, the callback watching its messages, our
// pending events run after each of them and, when resolveNames is set, target names resolved
// without regard to case. Callback and hooks are removed afterwards: the library keeps them across
// calls, and must never hold a pump or a watch that has gone. False when an export is missing.
bool WatchedMainCall(MainCallWatch& watch, bool resolveNames) {
    auto mainCall = Export<MainCallFn>("Tarrow");
    auto installCallback = Export<CallbackExFn>("Tarrow_InstallCallbackEx");
    // Without the callback a plain extraction still runs; a listing or a limit cannot.
    const bool watched = watch.listing || watch.outputLimit != std::numeric_limits<uint64_t>::max();
    if (!mainCall || (!installCallback && watched)) return false;
    auto setHooks = Export<SetHooksFn>("tarrow_platform_set_hooks");
    HookContext context;
    context.pump = Binding().pump;
    if (setHooks) {
        static TarrowPlatformHooks hooks;
        hooks = TarrowPlatformHooks{};
        hooks.size = sizeof hooks;
        hooks.context = &context;
        if (context.pump) hooks.pump_messages = [](void* c) { static_cast<HookContext*>(c)->pump->DoEvents(); };
        if (resolveNames) hooks.resolve_target = ResolveTargetIgnoringCase;
        setHooks(&hooks);
    }
    if (installCallback) installCallback(OnMessage, reinterpret_cast<intptr_t>(&watch));
    mainCall();
    if (installCallback) installCallback(nullptr, 0);
    if (setHooks) setHooks(nullptr);
    return true;
}

// The archive's name as the library gives it back in messages.
std::string NameInMessages(std::string archive) {
    std::replace(archive.begin(), archive.end(), '\\', '/');
    return archive;
}

void SetUpExtraction(const std::string& archive, const std::string& folder) {
    if (auto f = Export<InitialiseFn>("Tarrow_Initialise")) f();
    if (auto f = Export<TextSetterFn>("Tarrow_ArchiveName")) f(archive.c_str());
    if (auto f = Export<NumberSetterFn>("Tarrow_Overwrite")) f(11);                      // overwrite, never ask
    if (auto f = Export<NumberSetterFn>("Tarrow_RestoreStructure")) f(-1);               // recreate folders
    if (auto f = Export<NumberSetterFn>("Tarrow_RestoreAttributes")) f(1 + 2 + 4 + 32);  // R, H, S, A
    if (auto f = Export<TextSetterFn>("Tarrow_ExtractTo")) f(folder.c_str());
    // A skin whose end record is missing (an interrupted download) unpacks what lies before the cut.
    if (auto f = Export<NumberSetterFn>("Tarrow_Recover")) f(1);
}

}  // namespace

void ExtractArchive(const std::string& archive, const std::string& folder) {
    ExtractArchive(archive, folder, std::numeric_limits<uint64_t>::max());
}

bool ExtractArchive(const std::string& archive, const std::string& folder, uint64_t outputLimit) {
    SetUpExtraction(archive, folder);
    MainCallWatch watch;
    watch.archive = NameInMessages(archive);
    watch.outputLimit = outputLimit;
    WatchedMainCall(watch, true);
    return !watch.stopped;
}

ArchiveListing ListArchive(const std::string& archive) {
    ArchiveListing listing;
    auto initialise = Export<InitialiseFn>("Tarrow_Initialise");
    auto archiveName = Export<TextSetterFn>("Tarrow_ArchiveName");
    auto view = Export<NumberSetterFn>("Tarrow_View");
    auto lastError = Export<CodeFn>("Tarrow_GetLastError");
    if (!initialise || !archiveName || !view || !lastError) return listing;
    initialise();
    archiveName(archive.c_str());
    view(-1);
    if (auto recover = Export<NumberSetterFn>("Tarrow_Recover")) recover(1);
    MainCallWatch watch;
    watch.archive = NameInMessages(archive);
    watch.listing = &listing;
    listing.loaded = WatchedMainCall(watch, false);
    if (listing.loaded) listing.error = lastError();
    return listing;
}

PackageOutcome LastPackageOutcome() {
    PackageOutcome outcome;
    auto mainCall = Export<MainCallFn>("Tarrow");
    auto lastError = Export<CodeFn>("Tarrow_GetLastError");
    auto lastWarning = Export<CodeFn>("Tarrow_GetLastWarning");
    if (!mainCall || !lastError || !lastWarning) return outcome;
    outcome.loaded = true;
    outcome.error = lastError();
    outcome.warning = lastWarning();
    return outcome;
}

}  // namespace veltrane
