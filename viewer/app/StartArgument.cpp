#include "app/StartArgument.h"

#include "platform/FileHandling.h"
#include "app/SkinList.h"
#include "platform/CaseLookup.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace veltrane {
namespace {

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

// The path made absolute and without "." and ".." steps or a trailing "/", symbolic links kept as
// the user named them.
fs::path Absolute(const std::string& argument, const std::string& workingFolder) {
    fs::path path(argument);
    if (path.is_relative()) path = fs::path(workingFolder) / path;
    path = path.lexically_normal();
    if (path.has_relative_path() && !path.has_filename()) path = path.parent_path();
    return path;
}

StartPlace Refuse(const std::string& argument, const std::string& why) {
    return StartPlace{{}, {}, argument + ": " + why + "; starting in the usual skins folder"};
}

StartPlace InParent(const fs::path& path) {
    StartPlace place;
    place.folder = WithSlash(path.parent_path().string());
    place.entry = path.filename().string();
    return place;
}

}  // namespace

StartPlace ResolveStartArgument(const std::vector<std::string>& args, const std::string& workingFolder) {
    if (args.empty()) return {};
    const std::string& argument = args.front();
    if (argument.empty()) return Refuse("\"\"", "an empty path");

    const fs::path path = Absolute(argument, workingFolder);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    StartPlace place;
    if (error || !fs::exists(status)) {
        return Refuse(argument, "no such file or folder");
    } else if (fs::is_regular_file(status)) {
        if (!IsArchiveFileName(path.filename().string())) return Refuse(argument, "not a skin archive (.wsz or .zip)");
        place = InParent(path);
    } else if (!fs::is_directory(status)) {
        return Refuse(argument, "neither a skin archive nor a folder");
    } else if (path.has_filename() && FileExists(ResolveCaseInsensitive(WithSlash(path.string()), "main.bmp"))) {
        place = InParent(path);
    } else {
        const auto skins = BuildSkinList(path.string());
        if (!skins) return Refuse(argument, "the folder cannot be read");
        if (skins->empty())
            return Refuse(argument, "no skin (a folder with main.bmp, or a .wsz file) is in this folder");
        place.folder = WithSlash(path.string());
    }
    if (args.size() > 1) place.warning = "only one skin can be opened; ignoring the arguments after " + argument;
    return place;
}

}  // namespace veltrane
