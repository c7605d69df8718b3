// The windowing and file-system services the library asks of its host: the hook table a host
// installs with tarrow_platform_set_hooks, with defaults for a host that installs none.
#pragma once

#include "tarrow.h"

#include <cstdint>
#include <string>

namespace tarrow::platform {

// The hooks in force; never null members.
const TarrowPlatformHooks& hooks();
void setHooks(const TarrowPlatformHooks* hooks);

void pumpMessages();
void sendText(intptr_t window, const char* text);
// TARROW_BOX_ANSWER_OK or TARROW_BOX_ANSWER_CANCEL.
int messageBox(intptr_t owner, const std::string& text, const std::string& title, int buttons);
// 0 to 3 (TARROW_OVERWRITE_*); anything the hook answers outside that range becomes "No".
int overwriteDialog(intptr_t owner, const std::string& text);
// Label of the volume that holds `path`, "" when it has none.
std::string volumeLabel(const std::string& path);
// The path an extracted file or folder is written to: `path`, unless the host resolves it otherwise.
std::string resolveTarget(const std::string& path);

enum class PathKind { Missing, File, Folder };
PathKind pathKind(const std::string& path);

}  // namespace tarrow::platform
