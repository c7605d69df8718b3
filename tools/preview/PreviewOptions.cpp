#include "PreviewOptions.h"

#include <charconv>

namespace veltrane::preview {
namespace {

bool ParseNumber(const std::string& text, int low, int high, int& out) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) return false;
    out = value;
    return true;
}

}  // namespace

std::optional<PreviewOptions> ParsePreviewOptions(const std::vector<std::string>& args, std::string& error) {
    PreviewOptions options;
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        options.mode = PreviewOptions::Mode::Help;
        return options;
    }
    if (!args.empty() && args[0] == "--version") {
        options.mode = PreviewOptions::Mode::Version;
        return options;
    }
    if (!args.empty() && args[0] == "--thumbnail") {
        // The form a thumbnailer entry calls: exactly a size, an input and an output.
        if (args.size() != 4 || args[2].empty() || args[3].empty()) {
            error = "--thumbnail needs SIZE INPUT OUTPUT";
            return std::nullopt;
        }
        if (!ParseNumber(args[1], 1, kMaxThumbnailSize, options.thumbnailSize)) {
            error = "thumbnail size must be a number from 1 to " + std::to_string(kMaxThumbnailSize);
            return std::nullopt;
        }
        options.mode = PreviewOptions::Mode::Thumbnail;
        options.thumbnailInput = args[2];
        options.thumbnailOutput = args[3];
        return options;
    }
    bool onlySkins = false, formatGiven = false, shapeGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlySkins || arg.empty() || arg[0] != '-' || arg == "-") {
            options.skins.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlySkins = true;
            continue;
        }
        if (arg == "--via-files") {
            options.viaFiles = true;
            continue;
        }
        if (arg == "--shape" || arg == "--no-shape") {
            options.shape = arg == "--shape";
            shapeGiven = true;
            continue;
        }
        if (arg == "--force") {
            options.force = true;
            continue;
        }
        if (arg == "-r" || arg == "--recursive") {
            options.recursive = true;
            continue;
        }
        if (arg == "--help" || arg == "--version" || arg == "--thumbnail") {
            error = arg + " stands alone";
            return std::nullopt;
        }
        if (arg != "-f" && arg != "-q" && arg != "-o" && arg != "-j" && arg != "--gallery") {
            error = "unknown option " + arg;
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = "option " + arg + " needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        if (arg == "-f") {
            if (value == "bmp") options.format = ImageFormat::Bmp;
            else if (value == "jpg" || value == "jpeg") options.format = ImageFormat::Jpeg;
            else if (value == "png") options.format = ImageFormat::Png;
            else {
                error = "unknown format " + value + " (jpg, bmp or png)";
                return std::nullopt;
            }
            formatGiven = true;
        } else if (arg == "-q") {
            if (!ParseNumber(value, 1, 100, options.quality)) {
                error = "quality must be a number from 1 to 100";
                return std::nullopt;
            }
        } else if (arg == "-o" || arg == "--gallery") {
            if (value.empty()) {
                error = "empty output folder";
                return std::nullopt;
            }
            (arg == "-o" ? options.outputFolder : options.galleryFolder) = value;
        } else {
            int jobs = 0;
            if (!ParseNumber(value, 1, 256, jobs)) {
                error = "jobs must be a number from 1 to 256";
                return std::nullopt;
            }
            options.jobs = unsigned(jobs);
        }
    }
    if (options.skins.empty()) {
        error = "no skin given";
        return std::nullopt;
    }
    if (!options.galleryFolder.empty()) {
        if (!options.outputFolder.empty()) {
            error = "-o and --gallery exclude each other: a gallery keeps its previews in its own folder";
            return std::nullopt;
        }
        // A gallery shows previews as they are, so it keeps them lossless unless told otherwise.
        if (!formatGiven) options.format = ImageFormat::Png;
        // Transparent corners are what a gallery shows best.
        if (!shapeGiven) options.shape = options.format == ImageFormat::Png;
    }
    if (options.shape && options.format != ImageFormat::Png) {
        error = "--shape needs PNG output (-f png): JPEG and BMP previews have no transparency";
        return std::nullopt;
    }
    return options;
}

}  // namespace veltrane::preview
