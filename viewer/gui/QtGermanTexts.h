// The viewer speaks German whatever the user's locale, so the texts Qt itself supplies (the
// question box's buttons, the context menus and dialogs of its widgets) are German too.
#pragma once

#include <QString>

class QCoreApplication;

namespace veltrane {

// Installs Qt's own German translations (qtbase_de.qm from Qt's translations folder, or from
// folder when one is given) on app. False when they cannot be loaded; Qt's texts stay English then.
bool InstallGermanQtTexts(QCoreApplication& app, const QString& folder = {});

// True once InstallGermanQtTexts succeeded in this process.
bool GermanQtTextsInstalled();

}  // namespace veltrane
