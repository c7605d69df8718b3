// Renders the picture the AppStream metadata shows: the viewer started on the demo skins of a
// program folder, its first skin selected, the browser and the three docked live windows grabbed
// side by side into one PNG. Runs at build time under the offscreen platform; not installed.
#include "platform/FileHandling.h"
#include "app/ProgramValues.h"
#include "gui/QtGermanTexts.h"
#include "gui/QtViewer.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QStyleFactory>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: veltrane-screenshot PROGRAM_FOLDER OUTPUT.png\n", stderr);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrane"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    veltrane::InstallGermanQtTexts(app);

    veltrane::QtViewer viewer(veltrane::MakeProgramValues(argv[1], veltrane::GetTempFolder()));
    viewer.Start();
    veltrane::Browser& browser = *viewer.BrowserWindow;
    if (browser.List1->count() == 0) {
        std::fprintf(stderr, "veltrane-screenshot: no skins in %sSkins/\n", argv[1]);
        return 1;
    }
    browser.List1->setCurrentRow(0);
    QApplication::processEvents();

    const QImage left = browser.grab().toImage();
    QList<QImage> column;
    int columnWidth = 0, columnHeight = 0;
    for (QWidget* w : {static_cast<QWidget*>(viewer.Main.get()), static_cast<QWidget*>(viewer.Equalizer.get()),
                       static_cast<QWidget*>(viewer.Playlist.get())}) {
        column << w->grab().toImage();
        columnWidth = std::max(columnWidth, column.back().width());
        columnHeight += column.back().height();
    }
    QImage shot(left.width() + columnWidth, std::max(left.height(), columnHeight), QImage::Format_RGB32);
    shot.fill(QColor(64, 64, 64));
    QPainter p(&shot);
    p.drawImage(0, 0, left);
    int y = 0;
    for (const QImage& part : column) {
        p.drawImage(left.width(), y, part);
        y += part.height();
    }
    p.end();
    if (!shot.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "veltrane-screenshot: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
