// The running viewer under the offscreen platform: start-up state, selecting folder and archive
// skins, automatic and manual saving in both formats, save-all and its German question box,
// docking, the popup menu's checks, the live windows' mouse handling through real widget events,
// and starting on a skin or folder named on the command line.
#include "gui/QtGermanTexts.h"
#include "gui/QtViewer.h"
#include "archive/UnZIP.h"
#include "platform/Picture.h"

#include "ZipWriter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QTimer>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

using namespace veltrane;
namespace fs = std::filesystem;

namespace {

std::string MakeScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "veltrane-gui-XXXXXX").string();
    return mkdtemp(pattern.data()) ? pattern + "/" : std::string();
}

Dib SolidBitmap(int32_t width, int32_t height, RgbQuad colour) {
    Dib dib(width, height, 24);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) dib.SetPixel(x, y, colour);
    return dib;
}

void WriteSkinFolder(const std::string& folder, const std::string& mainName, RgbQuad colour) {
    fs::create_directories(folder);
    SavePicture(SolidBitmap(275, 116, colour), folder + mainName);
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// An archive whose skin lies in a subfolder, its members named in capitals.
void WriteSkinArchive(const std::string& path, RgbQuad colour) {
    const std::string bmp = MakeScratchFolder();
    SavePicture(SolidBitmap(275, 116, colour), bmp + "m.bmp");
    ziptest::Archive archive;
    ziptest::Member main, readme;
    main.name = "Deep/MAIN.BMP";
    main.data = FileText(bmp + "m.bmp");
    readme.name = "Deep/README.TXT";
    readme.data = "a skin";
    archive.members = {main, readme};
    ziptest::writeFile(path, ziptest::build(archive));
    fs::remove_all(bmp);
}

constexpr RgbQuad kRed{0, 0, 255, 0}, kGreen{0, 255, 0, 0}, kBlue{255, 0, 0, 0};

}  // namespace

class ViewerTest : public QObject {
    Q_OBJECT

    std::string m_app, m_temp;
    std::unique_ptr<QtViewer> m_viewer;

    ColorRef MainPixel() const { return m_viewer->Windows.Main.Image().GetPixel(2, 60); }
    std::set<std::string> TempContents() const {
        std::set<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(m_temp)) out.insert(e.path().string());
        return out;
    }
    bool ArchivesUnpack() {
        const std::string probe = m_temp + "probe/";
        fs::create_directories(probe);
        ExtractArchive(m_app + "Skins/Blue.wsz", probe);
        const bool unpacks = fs::exists(probe + "Deep/MAIN.BMP");
        fs::remove_all(probe);
        return PackageLibraryLoaded() && unpacks;
    }
    // A viewer started as `veltrane ARGUMENT` would be, from the program folder.
    bool Restart(const std::string& argument) {
        m_viewer = std::make_unique<QtViewer>(MakeProgramValues(m_app, m_temp));
        return m_viewer->Start(ResolveStartArgument({argument}, m_app));
    }
    // Presses cmdAlle with the real question box, reads its buttons and answers No.
    QStringList SaveAllButtonTexts() {
        Browser& b = *m_viewer->BrowserWindow;
        b.ConfirmSaveAll = nullptr;
        QStringList texts;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            texts << box->button(QMessageBox::Yes)->text() << box->button(QMessageBox::No)->text();
            box->button(QMessageBox::No)->click();
        });
        b.cmdAlle->click();
        return texts;
    }
    void Select(const QString& entry) {
        const auto found = m_viewer->BrowserWindow->List1->findItems(entry, Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        m_viewer->BrowserWindow->List1->setCurrentItem(found.first());
    }

private slots:
    void init() {
        m_app = MakeScratchFolder();
        m_temp = MakeScratchFolder();
        WriteSkinFolder(m_app + "Skins/Red/", "MAIN.BMP", kRed);
        WriteSkinFolder(m_app + "Skins/Green/", "main.bmp", kGreen);
        WriteSkinFolder(m_app + "Skins/nested/inner/", "main.bmp", kGreen);
        WriteSkinArchive(m_app + "Skins/Blue.wsz", kBlue);
        std::ofstream(m_app + "Skins/other.zip") << "x";
        // The archive library is looked for beside the program first: there lies the build's.
        std::error_code error;
        fs::create_symlink(VELTRANE_BIN_DIR "/libPackage.so", m_app + "libPackage.so", error);
        m_viewer = std::make_unique<QtViewer>(MakeProgramValues(m_app, m_temp));
        m_viewer->Start();
    }

    void cleanup() {
        m_viewer.reset();
        fs::remove_all(m_app);
        fs::remove_all(m_temp);
    }

    void startUpShowsTheSkinsFolderWithNothingSelected() {
        Browser& b = *m_viewer->BrowserWindow;
        QCOMPARE(b.windowTitle(), QStringLiteral("Harrowby Veltrane"));
        QCOMPARE(b.size(), QSize(374, 325));
        QCOMPARE(b.Dir1->Path(), m_app + "Skins/");
        QCOMPARE(b.SkinEntries(), (std::vector<std::string>{"Green", "Red", "Blue.wsz"}));
        QCOMPARE(b.List1->currentRow(), -1);
        QCOMPARE(m_viewer->Values.SkinName, std::string("BaseSkin"));
        QVERIFY(m_viewer->Main->isVisible() && m_viewer->Equalizer->isVisible() && m_viewer->Playlist->isVisible());
        QCOMPARE(m_viewer->Main->size(), QSize(275, 116));
        QCOMPARE(m_viewer->Playlist->size(), QSize(275, 118));
        QVERIFY(b.mnuJPG->isChecked() && !b.mnuBMP->isChecked() && !b.mnuAuto->isChecked());
        QCOMPARE(b.Command1->text(), QStringLiteral("Vorschau speichern"));
        QCOMPARE(b.cmdAlle->geometry(), QRect(4, 24, 161, 21));
        QCOMPARE(b.List1->geometry(), QRect(172, 4, 198, 319));
    }

    void withoutASkinsFolderTheProgramFolderIsListed() {
        m_viewer.reset();
        fs::remove_all(m_app + "Skins");
        WriteSkinFolder(m_app + "Here/", "main.bmp", kRed);
        m_viewer = std::make_unique<QtViewer>(MakeProgramValues(m_app, m_temp));
        m_viewer->Start();
        QCOMPARE(m_viewer->BrowserWindow->Dir1->Path(), m_app);
        QCOMPARE(m_viewer->BrowserWindow->SkinEntries(), (std::vector<std::string>{"Here"}));
    }

    void anUnreadableFolderKeepsTheListAndFolder() {
        Browser& b = *m_viewer->BrowserWindow;
        QVERIFY(!b.SetFolder(m_app + "missing/"));
        QCOMPARE(b.Dir1->Path(), m_app + "Skins/");
        QCOMPARE(b.List1->count(), 3);
    }

    void selectingAFolderSkinShowsItsArtwork() {
        Select("Red");
        QCOMPARE(m_viewer->Values.SkinName, std::string("Red"));
        QCOMPARE(MainPixel(), MakeColorRef(255, 0, 0));
        QVERIFY(TempContents().empty());
        // The widget shows the persistent image the right way up.
        const QImage shown = m_viewer->Main->grab().toImage();
        const Dib& image = m_viewer->Windows.Main.Image();
        for (auto [x, y] : {std::pair{2, 60}, std::pair{100, 2}, std::pair{30, 100}})
            QCOMPARE(shown.pixel(x, y) & 0xFFFFFF,
                     QColor(image.GetPixel(x, y) & 0xFF, (image.GetPixel(x, y) >> 8) & 0xFF, image.GetPixel(x, y) >> 16)
                             .rgb() &
                         0xFFFFFF);
    }

    void selectingAnArchiveShowsItAndLeavesNothingInTemp() {
        Select("Blue.wsz");
        QCOMPARE(m_viewer->Values.SkinName, std::string("Blue"));
        // Skipped only while the build's library cannot unpack a stored member at all.
        if (!ArchivesUnpack()) QSKIP("the build's libPackage.so does not unpack archives yet");
        QCOMPARE(MainPixel(), MakeColorRef(0, 0, 255));
        QVERIFY(TempContents().empty());
    }

    void automaticSavingWritesBothFormatsAndNeverReplaces() {
        Browser& b = *m_viewer->BrowserWindow;
        b.mnuAuto->trigger();
        QVERIFY(b.mnuAuto->isChecked());
        Select("Red");
        const std::string jpg = m_app + "Images/Red.jpg";
        QImage saved(QString::fromStdString(jpg));
        QCOMPARE(saved.size(), QSize(275, 350));
        QCOMPARE(QColor(saved.pixel(2, 60)).red() > 200 && QColor(saved.pixel(2, 60)).green() < 40, true);
        b.mnuBMP->trigger();
        Select("Green");
        QCOMPARE(QImage(QString::fromStdString(m_app + "Images/Green.bmp")).size(), QSize(275, 350));
        QVERIFY(!fs::exists(m_app + "Images/Green.jpg"));
        const auto written = fs::last_write_time(jpg);
        b.mnuJPG->trigger();
        Select("Red");
        b.Command1->click();
        QCOMPARE(fs::last_write_time(jpg), written);
    }

    void saveAllAnsweredNoWritesNothingAndYesWritesEveryEntry() {
        Browser& b = *m_viewer->BrowserWindow;
        int asked = 0;
        b.ConfirmSaveAll = [&] { return ++asked, false; };
        b.cmdAlle->click();
        QCOMPARE(asked, 1);
        QVERIFY(!fs::exists(m_app + "Images"));
        b.mnuBMP->trigger();
        b.ConfirmSaveAll = [&] { return ++asked, true; };
        b.cmdAlle->click();
        for (const char* name : {"Green.bmp", "Red.bmp", "Blue.bmp"}) QVERIFY(fs::exists(m_app + "Images/" + name));
        QCOMPARE(b.List1->currentRow(), 2);
        QCOMPARE(QImage(QString::fromStdString(m_app + "Images/Red.bmp")).pixelColor(2, 60), QColor(255, 0, 0));
        QVERIFY(TempContents().empty());
    }

    // Declared before the test that installs Qt's translations: the box is German without them too.
    void saveAllQuestionIsGermanWithoutQtsTranslations() {
        QVERIFY(!GermanQtTextsInstalled());
        QCOMPARE(SaveAllButtonTexts(), (QStringList{"&Ja", "&Nein"}));
        QVERIFY(!fs::exists(m_app + "Images"));
    }

    void saveAllQuestionIsGermanWithQtsTranslations() {
        QVERIFY(!InstallGermanQtTexts(*qApp, QString::fromStdString(m_temp)));  // no translations there
        if (!InstallGermanQtTexts(*qApp)) QSKIP("Qt's German translations (qt6-translations-l10n) are not installed");
        QVERIFY(GermanQtTextsInstalled());
        QCOMPARE(SaveAllButtonTexts(), (QStringList{"&Ja", "&Nein"}));
        // Qt's other standard texts follow, such as those of its file dialogs.
        QCOMPARE(QCoreApplication::translate("QFileDialog", "&Open"), QStringLiteral("&Öffnen"));
        QVERIFY(!fs::exists(m_app + "Images"));
    }

    void aSkinArgumentOpensItsFolderWithTheSkinSelectedAndShown() {
        QVERIFY(Restart("Skins/Red/"));
        Browser& b = *m_viewer->BrowserWindow;
        QCOMPARE(b.Dir1->Path(), m_app + "Skins/");
        QCOMPARE(b.SkinEntries(), (std::vector<std::string>{"Green", "Red", "Blue.wsz"}));
        QCOMPARE(b.List1->currentItem()->text(), QStringLiteral("Red"));
        QCOMPARE(m_viewer->Values.SkinName, std::string("Red"));
        QCOMPARE(MainPixel(), MakeColorRef(255, 0, 0));
        // The start goes on as a click would: another click shows another skin.
        Select("Green");
        QCOMPARE(MainPixel(), MakeColorRef(0, 255, 0));
    }

    void aZipArgumentIsAddedToItsFolderListAndShown() {
        fs::create_directories(m_app + "Downloads");
        WriteSkinArchive(m_app + "Downloads/Blue.ZIP", kBlue);
        QVERIFY(Restart(m_app + "Downloads/Blue.ZIP"));
        Browser& b = *m_viewer->BrowserWindow;
        QCOMPARE(b.Dir1->Path(), m_app + "Downloads/");
        QCOMPARE(b.SkinEntries(), (std::vector<std::string>{"Blue.ZIP"}));
        QCOMPARE(b.List1->currentRow(), 0);
        QCOMPARE(m_viewer->Values.SkinName, std::string("Blue"));
        if (!ArchivesUnpack()) QSKIP("the build's libPackage.so does not unpack archives yet");
        QCOMPARE(MainPixel(), MakeColorRef(0, 0, 255));
        QVERIFY(TempContents().empty());
    }

    void aFolderArgumentListsItsSkinsWithNothingSelected() {
        QVERIFY(Restart(m_app + "Skins/nested"));
        Browser& b = *m_viewer->BrowserWindow;
        QCOMPARE(b.Dir1->Path(), m_app + "Skins/nested/");
        QCOMPARE(b.SkinEntries(), (std::vector<std::string>{"inner"}));
        QCOMPARE(b.List1->currentRow(), -1);
        QCOMPARE(m_viewer->Values.SkinName, std::string("BaseSkin"));
    }

    void aRefusedOrVanishedArgumentStartsAsWithoutOne() {
        QVERIFY(Restart(m_app + "missing.wsz"));
        QCOMPARE(m_viewer->BrowserWindow->Dir1->Path(), m_app + "Skins/");
        QCOMPARE(m_viewer->BrowserWindow->List1->currentRow(), -1);
        // A folder that disappears between the decision and the start.
        m_viewer = std::make_unique<QtViewer>(MakeProgramValues(m_app, m_temp));
        QVERIFY(!m_viewer->Start(StartPlace{m_app + "gone/", "Red", {}}));
        QCOMPARE(m_viewer->BrowserWindow->Dir1->Path(), m_app + "Skins/");
        QCOMPARE(m_viewer->Values.SkinName, std::string("BaseSkin"));
    }

    void aSelectionDuringARunIsRefusedAndTheListReturns() {
        Browser& b = *m_viewer->BrowserWindow;
        Select("Red");
        b.ConfirmSaveAll = [&] {
            // A click on another entry, handled while the run waits for its answer.
            b.List1->setCurrentRow(0);
            return false;
        };
        b.cmdAlle->click();
        QCOMPARE(b.List1->currentRow(), 1);
        QCOMPARE(m_viewer->Values.SkinName, std::string("Red"));
        QCOMPARE(MainPixel(), MakeColorRef(255, 0, 0));
    }

    void liveWindowsDockToTheBrowserAndStayWhileDragged() {
        Browser& b = *m_viewer->BrowserWindow;
        b.move(40, 30);
        b.Timer1_Timer();
        const QRect frame = b.frameGeometry();
        QCOMPARE(m_viewer->Main->pos(), QPoint(frame.right() + 1, frame.top()));
        QCOMPARE(m_viewer->Equalizer->pos(), QPoint(frame.right() + 1, frame.top() + 116));
        QCOMPARE(m_viewer->Playlist->pos(), QPoint(frame.right() + 1, frame.top() + 232));
        m_viewer->Shared.WindowDragging = -1;
        b.move(90, 30);
        b.Timer1_Timer();
        QCOMPARE(m_viewer->Main->pos().x(), frame.right() + 1);
        m_viewer->Shared.WindowDragging = 0;
        b.Timer1_Timer();
        QCOMPARE(m_viewer->Main->pos().x(), b.frameGeometry().right() + 1);
    }

    void popupChecksKeepExactlyOneFormat() {
        Browser& b = *m_viewer->BrowserWindow;
        b.mnuJPG->trigger();  // already checked: stays
        QVERIFY(b.mnuJPG->isChecked() && !b.mnuBMP->isChecked());
        b.mnuBMP->trigger();
        QVERIFY(!b.mnuJPG->isChecked() && b.mnuBMP->isChecked());
        QVERIFY(m_viewer->Commands.Checks.BMP);
        b.mnuBMP->trigger();
        QVERIFY(b.mnuBMP->isChecked());
        b.mnuAuto->trigger();
        b.mnuAuto->trigger();
        QVERIFY(!b.mnuAuto->isChecked() && !m_viewer->Commands.Checks.Auto);
    }

    void mouseOnTheMainWindowPressesAndToggles() {
        frmMain& w = *m_viewer->Main;
        MainWindowState& state = m_viewer->Windows.Main.State;
        QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(180, 95));
        QCOMPARE(state.ShufflePressed, int16_t(1));
        QCOMPARE(m_viewer->Shared.WindowDragging, int16_t(-1));
        QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(180, 95));
        QCOMPARE(state.ShufflePressed, int16_t(0));
        QCOMPARE(state.ShuffleOn, int16_t(-1));
        QCOMPARE(m_viewer->Shared.WindowDragging, int16_t(0));
    }
};

QTEST_MAIN(ViewerTest)
#include "ViewerTest.moc"
