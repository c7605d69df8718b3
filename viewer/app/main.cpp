// The viewer's entry point. Command-line arguments are ignored.
#include "app/FileHandling.h"
#include "app/ProgramValues.h"
#include "app/QtViewer.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char** argv) {
    // Docking places top-level windows, which Wayland does not allow: ask for X11 unless the user
    // chose a platform, and fall back to Wayland (where the windows cannot dock) only without X.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb;wayland");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrane"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    veltrane::ProgramValues values = veltrane::MakeProgramValues(veltrane::ProgramFolder(), veltrane::GetTempFolder());
    veltrane::AdaptToInstallation(values, veltrane::UserDataHome());
    veltrane::QtViewer viewer(values);
    viewer.Start();
    return QApplication::exec();
}
