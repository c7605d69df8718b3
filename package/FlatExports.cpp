// The library's exports: each one drives the process-wide operation. Setters copy what they are
// given; flags and numbers count only in their low 16 bits.
#include "Configuration.h"
#include "NameText.h"
#include "Overwrite.h"
#include "Operation.h"
#include "platform/Host.h"

#include <algorithm>
#include <new>

using tarrow::Operation;

namespace {

Operation& operation() {
    static Operation instance;
    return instance;
}

tarrow::Settings& settings() { return operation().settings; }

int16_t low16(int32_t value) { return int16_t(uint16_t(uint32_t(value) & 0xFFFF)); }

// Stores a copy of text (none for a null pointer); 0 when the copy cannot be made.
int16_t store(std::optional<std::string>& setting, const char* text) {
    setting.reset();
    if (!text) return 1;
    try {
        setting = std::string(text);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int16_t setFlag(bool& flag, int32_t value) {
    flag = low16(value) != 0;
    return flag ? 1 : 0;
}

int16_t storeListFile(std::optional<std::string>& setting, const char* path) {
    if (!path || tarrow::platform::pathKind(path) == tarrow::platform::PathKind::Missing) return 0;
    if (store(setting, path) == 0) return 0;
    return 1;
}

}  // namespace

extern "C" {

TARROW_EXPORT void Tarrow_Initialise(void) { operation().initialise(); }

TARROW_EXPORT int16_t Tarrow_ArchiveName(const char* path) {
    tarrow::Settings& s = settings();
    s.archiveName.reset();
    s.memoryBlock = nullptr;
    s.memorySize = 0;
    if (!path || !*path) return 0;
    try {
        std::string name(path);
        std::replace(name.begin(), name.end(), '\\', '/');
        // A name without an extension is taken to be a ZIP archive; "-" and "-..." are left alone,
        // and so is the name of an existing file (files need no extension here).
        std::string_view last = name;
        if (size_t slash = last.rfind('/'); slash != std::string_view::npos) last = last.substr(slash + 1);
        if (last.find('.') == std::string_view::npos && (last.empty() || last.front() != '-') &&
            tarrow::platform::pathKind(name) != tarrow::platform::PathKind::File)
            name += ".ZIP";
        s.archiveName = std::move(name);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

TARROW_EXPORT int16_t Tarrow_ExtractTo(const char* folder) { return store(settings().extractTo, folder); }
TARROW_EXPORT int16_t Tarrow_Include(const char* patterns) { return store(settings().include, patterns); }
TARROW_EXPORT int16_t Tarrow_Exclude(const char* patterns) { return store(settings().exclude, patterns); }
TARROW_EXPORT int16_t Tarrow_Decrypt(const char* password) { return store(settings().password, password); }

TARROW_EXPORT int16_t Tarrow_NameCharset(const char* charset) {
    std::optional<std::string>& setting = settings().nameCharset;
    if (charset && !tarrow::knownCharset(charset)) {
        setting.reset();
        return 0;
    }
    return store(setting, charset);
}

TARROW_EXPORT int16_t Tarrow_IncludeListFile(const char* path) {
    return storeListFile(settings().includeListFile, path);
}

TARROW_EXPORT int16_t Tarrow_ExcludeListFile(const char* path) {
    return storeListFile(settings().excludeListFile, path);
}

TARROW_EXPORT int16_t Tarrow_Overwrite(int32_t mode) {
    int16_t value = low16(mode);
    if (value >= TARROW_OVERWRITE_ASK && value <= TARROW_OVERWRITE_NEVER) settings().overwrite = value;
    return settings().overwrite;
}

TARROW_EXPORT int16_t Tarrow_RestoreAttributes(int32_t mask) {
    int16_t value = low16(mask);
    if (value >= 0 && value <= TARROW_ATTRIBUTES_ALL) settings().attributeMask = value;
    return settings().attributeMask;
}

TARROW_EXPORT int16_t Tarrow_RestoreStructure(int32_t flag) { return setFlag(settings().restoreStructure, flag); }
TARROW_EXPORT int16_t Tarrow_RestorePermissions(int32_t flag) { return setFlag(settings().restorePermissions, flag); }
TARROW_EXPORT int16_t Tarrow_DisplayComment(int32_t flag) { return setFlag(settings().displayComment, flag); }
TARROW_EXPORT int16_t Tarrow_Freshen(int32_t flag) { return setFlag(settings().freshen, flag); }
TARROW_EXPORT int16_t Tarrow_Update(int32_t flag) { return setFlag(settings().update, flag); }
TARROW_EXPORT int16_t Tarrow_Test(int32_t flag) { return setFlag(settings().test, flag); }
TARROW_EXPORT int16_t Tarrow_View(int32_t flag) { return setFlag(settings().view, flag); }
TARROW_EXPORT int16_t Tarrow_Abort(int32_t flag) { return setFlag(settings().abort, flag); }
TARROW_EXPORT int16_t Tarrow_Recover(int32_t flag) { return setFlag(settings().recover, flag); }

TARROW_EXPORT int16_t Tarrow_InstallCallback(TarrowCallback callback) {
    tarrow::HostLink& host = operation().host;
    host.callback = callback;
    host.callbackEx = nullptr;
    host.user = 0;
    return 1;
}

TARROW_EXPORT int16_t Tarrow_InstallCallbackEx(TarrowCallbackEx callback, intptr_t user) {
    tarrow::HostLink& host = operation().host;
    host.callback = nullptr;
    host.callbackEx = callback;
    host.user = callback ? user : 0;
    return 1;
}

TARROW_EXPORT int16_t Tarrow_SetWindowHandle(intptr_t window) {
    operation().host.window = window;
    return 1;
}

TARROW_EXPORT int16_t Tarrow_SetParentWindowHandle(intptr_t window) {
    operation().host.parentWindow = window;
    return 1;
}

TARROW_EXPORT int16_t Tarrow_ToMemory(void* buffer, uint32_t capacity) {
    tarrow::Settings& s = settings();
    bool on = buffer && capacity;
    s.outputBuffer = on ? static_cast<uint8_t*>(buffer) : nullptr;
    s.outputCapacity = on ? capacity : 0;
    return on ? 1 : 0;
}

TARROW_EXPORT int16_t Tarrow_FromMemory(const void* block, uint32_t size) {
    Tarrow_ArchiveName("-");
    if (!block || !size) return 0;
    tarrow::Settings& s = settings();
    s.memoryBlock = static_cast<const uint8_t*>(block);
    s.memorySize = size;
    return 1;
}

TARROW_EXPORT int32_t Tarrow_InMemory(const void* block, uint32_t size, void* buffer, uint32_t capacity) {
    Tarrow_Initialise();
    if (!Tarrow_FromMemory(block, size) || !Tarrow_ToMemory(buffer, capacity)) return 0;
    return Tarrow();
}

TARROW_EXPORT int16_t Tarrow_ToPrinter(const char* device) {
    std::optional<std::string>& setting = settings().device;
    setting.reset();
    if (!device || !*device) return 0;
    return store(setting, device);
}

TARROW_EXPORT int16_t Tarrow_SaveConfiguration(const char* path) {
    return path && tarrow::saveConfiguration(settings(), path) ? 1 : 0;
}

TARROW_EXPORT int16_t Tarrow_GetLastError(void) { return operation().lastError; }
TARROW_EXPORT int16_t Tarrow_GetLastWarning(void) { return operation().lastWarning; }

TARROW_EXPORT void Tarrow_GetVersion(int16_t* major, int16_t* minor) {
    if (major) *major = tarrow::kVersionMajor;
    if (minor) *minor = tarrow::kVersionMinor;
}

TARROW_EXPORT int32_t Tarrow(void) { return operation().run(); }

TARROW_EXPORT intptr_t UnzipDlgBoxProc(intptr_t, uint32_t message, uintptr_t wparam, intptr_t) {
    switch (message) {
    case TARROW_WM_INITDIALOG: return 1;
    case TARROW_WM_COMMAND: operation().dialogAnswer = tarrow::dialogAnswerFor(unsigned(wparam & 0xFFFF)); return 1;
    default: return 0;
    }
}

}  // extern "C"
