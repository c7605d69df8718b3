#include "app/ProgramValues.h"

#include "platform/FileHandling.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <system_error>

namespace veltrane {

std::string ProgramFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || exe.empty()) return {};
    std::string folder = exe.parent_path().string();
    return AddBackslash(folder);
}

ProgramValues MakeProgramValues(std::string appFolder, std::string tempFolder) {
    ProgramValues v;
    v.AppFolder = AddBackslash(appFolder);
    v.TempFolder = std::move(tempFolder);
    v.SkinsFolder = v.AppFolder + "Skins/";
    v.ImagesFolder = v.AppFolder + "Images/";
    return v;
}

void AdaptToInstallation(ProgramValues& values, const std::string& dataHome) {
    namespace fs = std::filesystem;
    std::error_code error;
    bool installed = false;
    if (!fs::is_directory(values.SkinsFolder, error)) {
        const fs::path shared = fs::path(values.AppFolder) / ".." / "share" / "veltrane" / "Skins";
        if (fs::is_directory(shared, error)) {
            std::string folder = fs::weakly_canonical(shared, error).string();
            if (!error) {
                values.SkinsFolder = AddBackslash(folder);
                installed = true;
            }
        }
    }
    // An installed copy never writes into its bin/ folder, not even as root; a copy run from its
    // build or unpacked folder writes beside itself when it may.
    const bool imagesWritable = fs::is_directory(values.ImagesFolder, error)
                                    ? access(values.ImagesFolder.c_str(), W_OK) == 0
                                    : access(values.AppFolder.c_str(), W_OK) == 0;
    if ((installed || !imagesWritable) && !dataHome.empty()) values.ImagesFolder = dataHome + "veltrane/Images/";
}

std::string UserDataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME does not count, as the XDG base directory rules say.
    std::string folder = xdg && xdg[0] == '/' ? xdg : "";
    if (folder.empty()) {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') return {};
        folder = std::string(home) + "/.local/share";
    }
    return AddBackslash(folder);
}

}  // namespace veltrane
