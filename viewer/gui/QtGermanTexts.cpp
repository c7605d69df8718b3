#include "gui/QtGermanTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace veltrane {
namespace {
bool g_installed = false;
}

bool InstallGermanQtTexts(QCoreApplication& app, const QString& folder) {
    // Owned by the application, which keeps it for as long as it lives.
    auto* translator = new QTranslator(&app);
    const QString from = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    if (!translator->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                          from) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    g_installed = true;
    return true;
}

bool GermanQtTextsInstalled() { return g_installed; }

}  // namespace veltrane
