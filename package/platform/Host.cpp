#include "platform/Host.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string_view>

namespace tarrow::platform {
namespace {

void defaultPump(void*) {}
void defaultSendText(void*, intptr_t, const char*) {}

int32_t defaultMessageBox(void*, intptr_t, const char*, const char*, int32_t buttons) {
    // Nobody can be asked: a box with Cancel answers as Cancel would.
    return buttons == TARROW_BOX_OK_CANCEL ? TARROW_BOX_ANSWER_CANCEL : TARROW_BOX_ANSWER_OK;
}

int32_t defaultOverwriteDialog(void*, intptr_t, const char*) { return TARROW_OVERWRITE_NO; }

// Labels appear as links in /dev/disk/by-label, with blanks and other bytes escaped as \xHH.
std::string unescapeLabel(std::string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && std::isxdigit(uint8_t(name[i + 2])) &&
            std::isxdigit(uint8_t(name[i + 3]))) {
            out += char(std::strtol(std::string(name.substr(i + 2, 2)).c_str(), nullptr, 16));
            i += 3;
        } else {
            out += name[i];
        }
    }
    return out;
}

// The device of the nearest existing folder on the path ("" stands for the current folder).
bool deviceOf(std::string probe, dev_t& device) {
    for (;;) {
        struct stat st;
        if (stat(probe.empty() ? "." : probe.c_str(), &st) == 0) {
            device = st.st_dev;
            return true;
        }
        size_t slash = probe.find_last_of('/');
        if (probe.empty() || probe == "/") return false;
        probe.resize(slash == std::string::npos ? 0 : std::max<size_t>(slash, 1));
    }
}

int32_t defaultVolumeLabel(void*, const char* path, char* label, uint32_t capacity) {
    dev_t device;
    if (capacity == 0 || !deviceOf(path, device)) return 0;
    const char* folder = "/dev/disk/by-label";
    DIR* dir = opendir(folder);
    if (!dir) return 0;
    int32_t found = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        struct stat st;
        std::string link = std::string(folder) + "/" + entry->d_name;
        if (stat(link.c_str(), &st) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == device) {
            std::string name = unescapeLabel(entry->d_name);
            std::strncpy(label, name.c_str(), capacity - 1);
            label[capacity - 1] = '\0';
            found = 1;
            break;
        }
    }
    closedir(dir);
    return found;
}

int32_t defaultResolveTarget(void*, const char*, char*, uint32_t) { return 0; }

const TarrowPlatformHooks kDefaults = {sizeof(TarrowPlatformHooks),
                                       nullptr,
                                       defaultPump,
                                       defaultSendText,
                                       defaultMessageBox,
                                       defaultOverwriteDialog,
                                       defaultVolumeLabel,
                                       defaultResolveTarget};
TarrowPlatformHooks g_hooks = kDefaults;

}  // namespace

const TarrowPlatformHooks& hooks() { return g_hooks; }

void setHooks(const TarrowPlatformHooks* installed) {
    g_hooks = kDefaults;
    if (!installed) return;
    // Only the members inside the host's table are read: a host built against an older header has
    // a shorter one, and whatever lies beyond it is not ours to read. Members past it stay null.
    TarrowPlatformHooks given{};
    std::memcpy(&given, installed, std::min(installed->size, sizeof given));
    g_hooks.context = given.context;
    if (given.pump_messages) g_hooks.pump_messages = given.pump_messages;
    if (given.send_text) g_hooks.send_text = given.send_text;
    if (given.message_box) g_hooks.message_box = given.message_box;
    if (given.overwrite_dialog) g_hooks.overwrite_dialog = given.overwrite_dialog;
    if (given.volume_label) g_hooks.volume_label = given.volume_label;
    if (given.resolve_target) g_hooks.resolve_target = given.resolve_target;
}

void pumpMessages() { g_hooks.pump_messages(g_hooks.context); }

void sendText(intptr_t window, const char* text) { g_hooks.send_text(g_hooks.context, window, text); }

int messageBox(intptr_t owner, const std::string& text, const std::string& title, int buttons) {
    int answer = g_hooks.message_box(g_hooks.context, owner, text.c_str(), title.c_str(), buttons);
    if (buttons == TARROW_BOX_OK) return TARROW_BOX_ANSWER_OK;
    return answer == TARROW_BOX_ANSWER_OK ? TARROW_BOX_ANSWER_OK : TARROW_BOX_ANSWER_CANCEL;
}

int overwriteDialog(intptr_t owner, const std::string& text) {
    int answer = g_hooks.overwrite_dialog(g_hooks.context, owner, text.c_str());
    return answer >= TARROW_OVERWRITE_YES && answer <= TARROW_OVERWRITE_NO_TO_ALL ? answer : TARROW_OVERWRITE_NO;
}

std::string volumeLabel(const std::string& path) {
    char label[256] = {};
    if (!g_hooks.volume_label(g_hooks.context, path.c_str(), label, sizeof label)) return {};
    label[sizeof label - 1] = '\0';
    return label;
}

std::string resolveTarget(const std::string& path) {
    // Room for any path the file system can open; an answer that does not fit keeps the path.
    char resolved[4096];
    resolved[0] = '\0';
    if (g_hooks.resolve_target(g_hooks.context, path.c_str(), resolved, sizeof resolved) != 1) return path;
    resolved[sizeof resolved - 1] = '\0';
    return resolved[0] ? std::string(resolved) : path;
}

PathKind pathKind(const std::string& path) {
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0) return PathKind::Missing;
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::File;
}

}  // namespace tarrow::platform

extern "C" TARROW_EXPORT void tarrow_platform_set_hooks(const TarrowPlatformHooks* hooks) {
    tarrow::platform::setHooks(hooks);
}
