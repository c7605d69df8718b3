#include "app/UnZIP.h"

#include "tarrow.h"

#include <dlfcn.h>

#include <cstdint>

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

void ExtractArchive(const std::string& archive, const std::string& folder) {
    if (auto f = Export<InitialiseFn>("Tarrow_Initialise")) f();
    if (auto f = Export<TextSetterFn>("Tarrow_ArchiveName")) f(archive.c_str());
    if (auto f = Export<NumberSetterFn>("Tarrow_Overwrite")) f(11);               // overwrite, never ask
    if (auto f = Export<NumberSetterFn>("Tarrow_RestoreStructure")) f(-1);        // recreate folders
    if (auto f = Export<NumberSetterFn>("Tarrow_RestoreAttributes")) f(1 + 2 + 4 + 32);  // R, H, S, A
    if (auto f = Export<TextSetterFn>("Tarrow_ExtractTo")) f(folder.c_str());
    auto mainCall = Export<MainCallFn>("Tarrow");
    if (!mainCall) return;
    // While the main call works, the library runs our pending events after every message it
    // produces; the hook is removed again so the library never holds a pump that has gone.
    auto setHooks = Export<SetHooksFn>("tarrow_platform_set_hooks");
    EventPump* pump = Binding().pump;
    if (setHooks && pump) {
        static TarrowPlatformHooks hooks{};
        hooks.context = pump;
        hooks.pump_messages = [](void* context) { static_cast<EventPump*>(context)->DoEvents(); };
        setHooks(&hooks);
    }
    mainCall();
    if (setHooks && pump) setHooks(nullptr);
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
