// make-hostile-skins [--measure] FOLDER: writes the hostile skin set into FOLDER (created if
// missing). With --measure it also selects each skin as the viewer does, through the archive
// library beside this program, in a temporary folder of its own below FOLDER, and prints the most
// that folder held and the time the selection took (in a second run, as measuring costs time).
#include "HostileSkins.h"

#include "app/ProgramValues.h"
#include "archive/UnZIP.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const bool measure = argc == 3 && std::string(argv[1]) == "--measure";
    if (argc != 2 && !measure) {
        std::fprintf(stderr, "usage: make-hostile-skins [--measure] FOLDER\n");
        return 2;
    }
    const fs::path folder = argv[argc - 1];
    std::error_code error;
    fs::create_directories(folder, error);
    veltrane::SetPackageLibraryFolder(veltrane::ProgramFolder());
    if (measure) std::printf("%-22s %12s %16s %10s\n", "skin", "bytes", "peak temp bytes", "seconds");
    for (const auto& skin : veltrane::hostile::MakeHostileSkins()) {
        const fs::path archive = folder / skin.file;
        ziptest::writeFile(archive.string(), skin.bytes);
        if (!measure) {
            std::printf("%-22s %12zu\n", skin.file.c_str(), skin.bytes.size());
            continue;
        }
        const fs::path temp = folder / "measure-temp";
        fs::create_directories(temp, error);
        veltrane::SkinWindows windows;
        windows.LoadDefault();
        const std::string tempFolder = temp.string() + "/";
        const auto timed = veltrane::hostile::SelectLikeTheViewer(archive.string(), tempFolder, windows, false);
        const auto measured = veltrane::hostile::SelectLikeTheViewer(archive.string(), tempFolder, windows, true);
        fs::remove_all(temp, error);
        std::printf("%-22s %12zu %16llu %10.3f\n", skin.file.c_str(), skin.bytes.size(),
                    (unsigned long long)measured.peakBytes, timed.seconds);
    }
    return 0;
}
