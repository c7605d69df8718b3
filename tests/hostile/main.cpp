// make-hostile-skins FOLDER: writes the hostile skin set into FOLDER (created if missing), for
// measuring what one skin may cost the viewer's pipeline and veltrane-preview.
#include "HostileSkins.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-hostile-skins FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (const auto& skin : veltrane::hostile::MakeHostileSkins()) {
        ziptest::writeFile((folder / skin.file).string(), skin.bytes);
        std::printf("%-22s %9zu bytes\n", skin.file.c_str(), skin.bytes.size());
    }
    return 0;
}
