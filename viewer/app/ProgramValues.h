// The program-wide values the start-up prepares: the folders the viewer works in, the song title
// the imitated main window shows, and the name of the skin now shown. Folders end with "/".
#pragma once

#include <string>

namespace veltrane {

// The text the main window shows as its song title: the browser's caption, two blanks, three
// asterisks, two blanks.
inline constexpr const char* kTitleText = "Harrowby Veltrane  ***  ";
inline constexpr const char* kBrowserCaption = "Harrowby Veltrane";
// SkinName until the first selection.
inline constexpr const char* kBaseSkinName = "BaseSkin";

struct ProgramValues {
    std::string AppFolder;     // the folder holding the program file
    std::string SkinsFolder;   // AppFolder + "Skins/", where the browser opens
    std::string ImagesFolder;  // AppFolder + "Images/", where previews go (made by the first save)
    std::string TempFolder;    // the system's folder for temporary files
    std::string TitleText = kTitleText;
    std::string SkinName = kBaseSkinName;  // names the preview of the skin now shown
};

// The folder of the running program (from /proc/self/exe), with a trailing "/"; empty when unknown.
std::string ProgramFolder();

// The values for a program in appFolder, with tempFolder as the temporary folder.
ProgramValues MakeProgramValues(std::string appFolder, std::string tempFolder);

// An installed copy keeps its skins under <prefix>/share/veltrane/ and cannot write beside itself.
// When AppFolder has no Skins folder but <AppFolder>/../share/veltrane/Skins/ exists, the browser
// opens there, and previews go to dataHome + "veltrane/Images/", as they do whenever AppFolder
// cannot be written.
void AdaptToInstallation(ProgramValues& values, const std::string& dataHome);

// $XDG_DATA_HOME, or $HOME/.local/share, with a trailing "/"; empty when neither is known.
std::string UserDataHome();

}  // namespace veltrane
