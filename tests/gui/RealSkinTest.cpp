// Every real skin of the shared corpus, selected in a freshly started viewer from a Skins folder,
// saved as a BMP preview and compared byte for byte with what veltrane-preview writes for it.
#include "gui/QtViewer.h"

#include <QProcess>
#include <QTest>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

using namespace veltrane;
namespace fs = std::filesystem;

namespace {

const std::string kCorpus = VELTRANE_SHARED_DIR "/corpus/skins/";

std::string MakeScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "veltrane-real-XXXXXX").string();
    return mkdtemp(pattern.data()) ? pattern + "/" : std::string();
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Until veltrane-preview reads archives itself: the archive unpacked by 7-Zip, and the folder in it
// that holds main.bmp (any letter case), which the tool then renders as a skin folder.
std::string UnpackWithSevenZip(const std::string& archive, const std::string& into) {
    const std::string command = "7z x -y '-o" + into + "' '" + archive + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return {};
    std::string found;
    for (const auto& e : fs::recursive_directory_iterator(into)) {
        std::string name = e.path().filename().string();
        for (char& c : name) c = char(std::tolower((unsigned char)c));
        if (name == "main.bmp" && (found.empty() || e.path().parent_path().string() + "/" == into))
            found = e.path().parent_path().string();
    }
    return found;
}

}  // namespace

class RealSkinTest : public QObject {
    Q_OBJECT

private slots:
    void viewerPreviewEqualsToolPreview_data() {
        QTest::addColumn<QString>("entry");
        if (!fs::is_directory(kCorpus)) QSKIP("no shared corpus of skins here");
        for (const auto& e : fs::directory_iterator(kCorpus)) {
            const std::string name = e.path().filename().string();
            if (e.is_directory() || name.ends_with(".wsz")) QTest::newRow(name.c_str()) << QString::fromStdString(name);
        }
    }

    void viewerPreviewEqualsToolPreview() {
        QFETCH(QString, entry);
        const std::string name = entry.toStdString();
        const std::string app = MakeScratchFolder(), temp = MakeScratchFolder(), out = MakeScratchFolder();
        fs::create_directories(app + "Skins");
        fs::create_symlink(kCorpus + name, app + "Skins/" + name);
        std::error_code error;
        fs::create_symlink(VELTRANE_BIN_DIR "/libPackage.so", app + "libPackage.so", error);

        const bool archive = name.ends_with(".wsz");
        const std::string skinName = archive ? name.substr(0, name.size() - 4) : name;
        auto runTool = [&](const std::string& skin) {
            QProcess tool;
            tool.start(QStringLiteral(VELTRANE_BIN_DIR "/veltrane-preview"),
                       {"-f", "bmp", "-o", QString::fromStdString(out), QString::fromStdString(skin)});
            return tool.waitForFinished(60000) && tool.exitCode() == 0;
        };
        bool rendered = runTool(app + "Skins/" + name);
        if (!rendered && archive) {
            const std::string unpacked = out + "unpacked/";
            const std::string folder = UnpackWithSevenZip(kCorpus + name, unpacked);
            if (folder.empty()) QSKIP("7z cannot unpack this archive here");
            fs::rename(folder, out + skinName);  // the tool names the preview after the folder
            rendered = runTool(out + skinName);
        }
        const std::string expected = FileBytes(out + skinName + ".bmp");

        auto viewer = std::make_unique<QtViewer>(MakeProgramValues(app, temp));
        viewer->Start();
        viewer->BrowserWindow->mnuBMP->trigger();
        viewer->BrowserWindow->List1->setCurrentRow(0);
        viewer->BrowserWindow->Command1->click();
        const std::string actual = FileBytes(app + "Images/" + skinName + ".bmp");
        const bool nothingLeft = fs::is_empty(temp);
        viewer.reset();
        for (const std::string& f : {app, temp, out}) fs::remove_all(f);

        QVERIFY(nothingLeft);
        QVERIFY(rendered);
        QVERIFY(!expected.empty());
        QCOMPARE(actual.size(), expected.size());
        QVERIFY(actual == expected);
    }
};

QTEST_MAIN(RealSkinTest)
#include "RealSkinTest.moc"
