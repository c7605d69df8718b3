// Where the browser starts when the viewer is given a path on its command line (as a file manager
// does when a skin is opened with it): a skin folder or a skin archive opens its parent folder with
// that skin selected and shown; a folder of skins opens on that folder. Anything else is refused
// with a reason, and the viewer starts as it does without an argument.
#pragma once

#include <string>
#include <vector>

namespace veltrane {

struct StartPlace {
    std::string folder;   // the folder the browser opens on, with a trailing "/"; empty: the usual one
    std::string entry;    // the skin list entry to select and show there; empty: nothing selected
    std::string warning;  // what to tell the user on standard error; empty when there is nothing to say
};

// Decides from the program's arguments (without the program name). Relative paths are taken
// from workingFolder. Looks at the file system but changes nothing.
StartPlace ResolveStartArgument(const std::vector<std::string>& args, const std::string& workingFolder);

}  // namespace veltrane
