// The viewer's entry point. One optional argument, a skin folder, a skin archive or a folder of
// skins, chooses where the browser starts; without one it opens on its Skins folder.
#include "platform/FileHandling.h"
#include "app/ProgramValues.h"
#include "gui/QtGermanTexts.h"
#include "gui/QtViewer.h"
#include "app/StartArgument.h"

#include <QApplication>
#include <QDir>
#include <QStyleFactory>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "Usage: veltrane [SKIN]\n"
    "Shows skins in the browser window. SKIN is a skin folder or a .wsz/.zip archive (shown at once,\n"
    "its folder listed) or a folder of skins (listed); without it the browser opens on its skins.\n";

}  // namespace

int main(int argc, char** argv) {
    // Docking places top-level windows, which Wayland does not allow: ask for X11 unless the user
    // chose a platform, and fall back to Wayland (where the windows cannot dock) only without X.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb;wayland");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrane"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    veltrane::InstallGermanQtTexts(app);

    // Qt has taken its own options (-platform, -display, ...) out of the list by now.
    std::vector<std::string> args;
    for (const QString& a : QApplication::arguments().mid(1)) args.push_back(QFile::encodeName(a).toStdString());
    if (!args.empty() && (args.front() == "--help" || args.front() == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const veltrane::StartPlace place =
        veltrane::ResolveStartArgument(args, QFile::encodeName(QDir::currentPath()).toStdString());
    if (!place.warning.empty()) std::fprintf(stderr, "veltrane: %s\n", place.warning.c_str());

    veltrane::ProgramValues values = veltrane::MakeProgramValues(veltrane::ProgramFolder(), veltrane::GetTempFolder());
    veltrane::AdaptToInstallation(values, veltrane::UserDataHome());
    veltrane::QtViewer viewer(values);
    if (!viewer.Start(place))
        std::fprintf(stderr, "veltrane: %s cannot be shown; starting in the usual skins folder\n",
                     place.folder.c_str());
    return QApplication::exec();
}
