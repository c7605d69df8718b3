#include "app/ProgramValues.h"

#include "app/FileHandling.h"

#include <filesystem>
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

}  // namespace veltrane
