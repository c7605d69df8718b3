// veltrane-preview --gallery and -r as a user runs them: lossless previews and the page, reruns
// that render only what changed, failed skins listed with their reasons, hostile names, nested
// collections; and the page of the real skins opened in headless Chromium.
#include "PreviewToolFixture.h"

#include "PreviewOutput.h"
#include "rendering/SkinPreview.h"

#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace veltrane;
using namespace veltrane::test;
using veltrane::preview::EncodePreviewPng;

namespace {

ziptest::Member File(const std::string& name, const std::string& data) {
    ziptest::Member m;
    m.name = name;
    m.data = data;
    return m;
}

// The JSON the page carries, between its script tags.
std::string PageData(const std::string& page) {
    const std::string open = "<script type=\"application/json\" id=\"skins\">";
    const std::size_t start = page.find(open);
    if (start == std::string::npos) return {};
    const std::size_t end = page.find("</script>", start);
    return page.substr(start + open.size(), end - start - open.size());
}

class GalleryTool : public PreviewTool {
protected:
    fs::path gallery() const { return root / "gallery"; }
    std::string Page() const { return Read(gallery() / "index.html"); }
    int RunGallery(const std::string& arguments) { return Run("--gallery " + Quoted(gallery()) + " " + arguments); }
};

}  // namespace

TEST_F(GalleryTool, WritesLosslessPreviewsAndAPageListingEverySkin) {
    const fs::path red = MakeSkin("Red", kRed);
    MakeSkin("Blue", kBlue);
    MakeArchive("Packed.wsz", {File("main.bmp", MainBitmap(kRed))});
    ASSERT_EQ(RunGallery("-j 2 " + Quoted(root / "skins")), 0) << Errors();
    EXPECT_NE(Errors().find("3 rendered, 0 skipped, 0 failed"), std::string::npos) << Errors();
    EXPECT_EQ(Output(), (gallery() / "index.html").string() + "\n");
    // PNG by our writer, byte for byte the core's picture.
    EXPECT_EQ(Read(gallery() / "previews" / "Red.png"),
              ziptest::toString(EncodePreviewPng(RenderSkinPreview(red.string()))));
    EXPECT_TRUE(fs::exists(gallery() / "previews" / "Blue.png"));
    EXPECT_TRUE(fs::exists(gallery() / "previews" / "Packed.png"));
    const std::string data = PageData(Page());
    const std::string dir = (root / "skins").string() + "/";
    EXPECT_NE(data.find("\"dirs\":[\"" + dir + "\"]"), std::string::npos) << data;
    EXPECT_NE(data.find("[\"Blue\",0,\"Blue\","), std::string::npos) << data;
    EXPECT_NE(data.find("[\"Packed\",0,\"Packed.wsz\","), std::string::npos) << data;
    EXPECT_TRUE(TempContents().empty());
    // skins.json beside the page names each skin with its preview.
    const nlohmann::json skins = nlohmann::json::parse(Read(gallery() / "skins.json"))["skins"];
    std::set<std::string> listed;
    for (const auto& skin : skins)
        listed.insert(skin["path"].get<std::string>() + " " + skin["preview"].get<std::string>());
    EXPECT_EQ(listed, (std::set<std::string>{dir + "Blue previews/Blue.png", dir + "Packed.wsz previews/Packed.png",
                                             dir + "Red previews/Red.png"}));

    // -f keeps its meaning in a gallery; without a gallery PNG is one more format.
    ASSERT_EQ(RunGallery("-f jpg -q 70 " + Quoted(red)), 0) << Errors();
    EXPECT_TRUE(fs::exists(gallery() / "previews" / "Red.jpg"));
    EXPECT_FALSE(fs::exists(gallery() / "previews" / "Red.png"));
    EXPECT_FALSE(fs::exists(gallery() / "previews" / "Blue.png"));  // no longer in the gallery
    ASSERT_EQ(Run("-f png -o " + Quoted(out) + " " + Quoted(red)), 0) << Errors();
    EXPECT_EQ(Read(out / "Red.png"), ziptest::toString(EncodePreviewPng(RenderSkinPreview(red.string()))));
    EXPECT_EQ(Run("--gallery " + Quoted(gallery()) + " -o " + Quoted(out) + " " + Quoted(red)), 2);
}

TEST_F(GalleryTool, ARerunRendersOnlyWhatChangedAndDropsWhatIsGone) {
    const fs::path red = MakeSkin("Red", kRed);
    const fs::path blue = MakeSkin("Blue", kBlue);
    ASSERT_EQ(RunGallery(Quoted(root / "skins")), 0) << Errors();
    const fs::path bluePreview = gallery() / "previews" / "Blue.png";
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24);
    fs::last_write_time(bluePreview, old);
    fs::last_write_time(gallery() / "previews" / "Red.png", old);

    ASSERT_EQ(RunGallery(Quoted(root / "skins")), 0) << Errors();
    EXPECT_NE(Errors().find("0 rendered, 2 skipped, 0 failed"), std::string::npos) << Errors();
    EXPECT_EQ(fs::last_write_time(bluePreview), old);

    // Red repainted: only Red again.
    std::ofstream(red / "Main.bmp", std::ios::binary | std::ios::trunc) << MainBitmap(kBlue);
    ASSERT_EQ(RunGallery(Quoted(root / "skins")), 0) << Errors();
    EXPECT_NE(Errors().find("1 rendered, 1 skipped, 0 failed"), std::string::npos) << Errors();
    EXPECT_EQ(fs::last_write_time(bluePreview), old);
    EXPECT_EQ(Read(gallery() / "previews" / "Red.png"),
              ziptest::toString(EncodePreviewPng(RenderSkinPreview(red.string()))));

    // A preview deleted by hand is made again; a skin removed leaves the gallery with its preview.
    fs::remove(bluePreview);
    fs::remove_all(red);
    ASSERT_EQ(RunGallery(Quoted(root / "skins")), 0) << Errors();
    EXPECT_NE(Errors().find("1 rendered, 0 skipped, 0 failed"), std::string::npos) << Errors();
    EXPECT_TRUE(fs::exists(bluePreview));
    EXPECT_FALSE(fs::exists(gallery() / "previews" / "Red.png"));
    EXPECT_EQ(PageData(Page()).find("\"Red\""), std::string::npos);

    // --force renders everything again.
    ASSERT_EQ(RunGallery("--force " + Quoted(root / "skins")), 0) << Errors();
    EXPECT_NE(Errors().find("1 rendered, 0 skipped, 0 failed"), std::string::npos) << Errors();
}

namespace {

// Each file the gallery writes beside its previews, by its inode and time: a file written again
// (always through a new file renamed into place) gets a new inode.
std::map<std::string, std::pair<ino_t, int64_t>> Written(const fs::path& gallery) {
    std::map<std::string, std::pair<ino_t, int64_t>> files;
    for (const char* name : {"index.html", "skins.json", "manifest.txt", "manifest-texts.txt"}) {
        struct stat info {};
        if (stat((gallery / name).c_str(), &info) == 0)
            files[name] = {info.st_ino, int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    }
    return files;
}

}  // namespace

TEST_F(GalleryTool, AnUnchangedRerunWritesNothingAndAChangeWritesWhatItChanges) {
    const fs::path red = MakeSkin("Red", kRed);
    const fs::path blue = MakeSkin("Blue", kBlue);
    std::ofstream(blue / "readme.txt") << "Blue, made by a zeppelin pilot";
    ASSERT_EQ(RunGallery(Quoted(root / "skins")), 0) << Errors();
    const auto first = Written(gallery());
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(Read(gallery() / "manifest.txt").find("zeppelin"), std::string::npos);

    ASSERT_EQ(RunGallery(Quoted(root / "skins")), 0) << Errors();
    EXPECT_NE(Errors().find("0 rendered, 2 skipped, 0 failed"), std::string::npos) << Errors();
    EXPECT_EQ(Written(gallery()), first);

    // A page edited by hand is written again; skins.json and the texts, still as written, are not.
    std::ofstream(gallery() / "index.html", std::ios::trunc) << "edited";
    ASSERT_EQ(RunGallery(Quoted(root / "skins")), 0) << Errors();
    auto now = Written(gallery());
    EXPECT_NE(Page().find("zeppelin pilot"), std::string::npos);
    EXPECT_EQ(now["skins.json"], first.at("skins.json"));
    EXPECT_EQ(now["manifest-texts.txt"], first.at("manifest-texts.txt"));
    ASSERT_EQ(RunGallery(Quoted(root / "skins")), 0) << Errors();
    EXPECT_EQ(Written(gallery()), now);

    // A changed skin: the page, its data and the manifest are written again, the same texts are not.
    std::ofstream(red / "Main.bmp", std::ios::binary | std::ios::trunc) << MainBitmap(kBlue);
    ASSERT_EQ(RunGallery(Quoted(root / "skins")), 0) << Errors();
    EXPECT_NE(Errors().find("1 rendered, 1 skipped, 0 failed"), std::string::npos) << Errors();
    const auto changed = Written(gallery());
    for (const char* name : {"index.html", "skins.json", "manifest.txt"})
        EXPECT_NE(changed.at(name), now[name]) << name;
    EXPECT_EQ(changed.at("manifest-texts.txt"), now["manifest-texts.txt"]);

    // Without the texts file the skins that had a text are rendered again, and the text is back.
    fs::remove(gallery() / "manifest-texts.txt");
    ASSERT_EQ(RunGallery(Quoted(root / "skins")), 0) << Errors();
    EXPECT_NE(Errors().find("1 rendered, 1 skipped, 0 failed"), std::string::npos) << Errors();
    EXPECT_NE(Page().find("zeppelin pilot"), std::string::npos);
    EXPECT_NE(Read(gallery() / "skins.json").find("zeppelin pilot"), std::string::npos);
}

TEST_F(GalleryTool, AFailedSkinIsListedWithItsReasonInsteadOfAPicture) {
    MakeSkin("Good", kRed);
    const fs::path bad = MakeSkin("Bad", kRed);
    std::ofstream(bad / "Main.bmp", std::ios::trunc) << "BM not really";
    ziptest::Member crcWrong = File("main.bmp", MainBitmap(kRed));
    crcWrong.crc = 0x12345678;
    MakeArchive("Broken.wsz", {crcWrong});
    EXPECT_EQ(RunGallery(Quoted(root / "skins")), 1);
    EXPECT_NE(Errors().find("1 rendered, 0 skipped, 2 failed"), std::string::npos) << Errors();
    const std::string data = PageData(Page());
    EXPECT_NE(data.find("[\"Bad\",0,\"Bad\","), std::string::npos) << data;
    EXPECT_NE(data.find(",0,\"main.bmp is not a readable bitmap\""), std::string::npos) << data;
    EXPECT_NE(data.find(",0,\"a member of the archive cannot be unpacked: CRC-32 or authentication code mismatch\""),
              std::string::npos)
        << data;
    EXPECT_FALSE(fs::exists(gallery() / "previews" / "Bad.png"));
    // An unchanged failure is not tried again, but still counts; once repaired a skin gets its picture.
    const auto failed = Written(gallery());
    EXPECT_EQ(RunGallery(Quoted(root / "skins")), 1);
    EXPECT_NE(Errors().find("0 rendered, 1 skipped, 2 failed"), std::string::npos) << Errors();
    EXPECT_NE(Errors().find("Broken.wsz: a member of the archive cannot be unpacked: CRC-32 or authentication code "
                            "mismatch (unchanged"),
              std::string::npos)
        << Errors();
    EXPECT_EQ(Written(gallery()), failed);
    std::ofstream(bad / "Main.bmp", std::ios::binary | std::ios::trunc) << MainBitmap(kBlue);
    EXPECT_EQ(RunGallery(Quoted(root / "skins")), 1);
    EXPECT_NE(Errors().find("1 rendered, 1 skipped, 1 failed"), std::string::npos) << Errors();
    EXPECT_TRUE(fs::exists(gallery() / "previews" / "Bad.png"));
    EXPECT_NE(PageData(Page()).find(
                  ",0,\"a member of the archive cannot be unpacked: CRC-32 or authentication code mismatch\""),
              std::string::npos);
    // --force tries it again.
    EXPECT_EQ(RunGallery("--force " + Quoted(root / "skins")), 1);
    EXPECT_NE(Errors().find("2 rendered, 0 skipped, 1 failed"), std::string::npos) << Errors();
}

TEST_F(GalleryTool, NamesFromStrangersStayTextAndAForeignPageIsKept) {
    const std::string hostile = "<img src=x onerror=\"alert('x')\"> & <!--<script>";
    MakeSkin(hostile, kRed);
    ASSERT_EQ(RunGallery(Quoted(root / "skins")), 0) << Errors();
    const std::string data = PageData(Page());
    EXPECT_EQ(data.find('<'), std::string::npos) << data;
    EXPECT_EQ(data.find('>'), std::string::npos) << data;
    EXPECT_NE(data.find("\\u003cimg src=x onerror=\\\"alert('x')\\\"\\u003e \\u0026 \\u003c!--\\u003cscript\\u003e"),
              std::string::npos)
        << data;
    // The preview file's name is made safe; the page refers to it by that name.
    EXPECT_TRUE(fs::exists(gallery() / "previews" / "_img src=x onerror=_alert('x')__ & _!--_script_.png"));
    EXPECT_NE(data.find("\"_img src=x onerror=_alert('x')__ \\u0026 _!--_script_.png\""), std::string::npos) << data;

    // A folder holding someone else's index.html is not written into.
    const fs::path site = root / "site";
    fs::create_directories(site);
    std::ofstream(site / "index.html") << "my page";
    EXPECT_EQ(Run("--gallery " + Quoted(site) + " " + Quoted(root / "skins")), 1);
    EXPECT_NE(Errors().find("not a gallery's page"), std::string::npos) << Errors();
    EXPECT_EQ(Read(site / "index.html"), "my page");
}

TEST_F(PreviewTool, RecursiveRunsWalkSubfoldersButNotLinksNorSkinFolders) {
    MakeSkin("letters/A/Apple", kRed);
    MakeSkin("letters/B/deeper/Banana", kRed);
    MakeSkin("letters/Outer", kRed);
    MakeSkin("letters/Outer/Inner", kRed);  // inside a skin folder: part of that skin
    MakeSkin("elsewhere/Linked", kRed);
    MakeSkin("letters/.hidden/Secret", kRed);
    fs::create_directories(root / "skins" / "letters" / "C");
    ASSERT_EQ(symlink((root / "skins" / "elsewhere").c_str(), (root / "skins" / "letters" / "C" / "link").c_str()), 0);
    const auto written = [&] {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(out)) names.insert(entry.path().filename());
        return names;
    };
    ASSERT_EQ(Run("-f bmp -o " + Quoted(out) + " " + Quoted(root / "skins" / "letters")), 0) << Errors();
    EXPECT_EQ(written(), (std::set<std::string>{"Outer.bmp"}));
    fs::remove_all(out);
    ASSERT_EQ(Run("-r -f bmp -o " + Quoted(out) + " " + Quoted(root / "skins" / "letters")), 0) << Errors();
    EXPECT_EQ(written(), (std::set<std::string>{"Outer.bmp", "Apple.bmp", "Banana.bmp"}));
    fs::remove_all(out);
    ASSERT_EQ(Run("--recursive -f bmp -o " + Quoted(out) + " " + Quoted(root / "skins")), 0) << Errors();
    EXPECT_EQ(written(), (std::set<std::string>{"Outer.bmp", "Apple.bmp", "Banana.bmp", "Linked.bmp"}));
    EXPECT_NE(Errors().find("4 rendered, 0 skipped, 0 failed"), std::string::npos) << Errors();
}

TEST_F(GalleryTool, NestedCollectionsKeepSkinsOfOneNameApart) {
    MakeSkin("A/Same", kRed);
    MakeSkin("B/Same", kBlue);
    ASSERT_EQ(RunGallery("-r " + Quoted(root / "skins")), 0) << Errors();
    EXPECT_NE(Errors().find("2 rendered, 0 skipped, 0 failed"), std::string::npos) << Errors();
    EXPECT_EQ(Read(gallery() / "previews" / "Same.png"),
              ziptest::toString(EncodePreviewPng(RenderSkinPreview((root / "skins" / "A" / "Same").string()))));
    EXPECT_EQ(Read(gallery() / "previews" / "Same (2).png"),
              ziptest::toString(EncodePreviewPng(RenderSkinPreview((root / "skins" / "B" / "Same").string()))));
}

// The gallery of the real skins, a broken archive and a hostile name, as a browser shows it.
TEST_F(GalleryTool, TheCorpusGalleryWorksInAHeadlessBrowser) {
    const fs::path corpus = fs::path(VELTRANE_SHARED_DIR) / "corpus" / "skins";
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no shared corpus at " << corpus;
    if (std::system("command -v chromium >/dev/null 2>&1 && command -v python3 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "chromium or python3 missing: the gallery cannot be checked in a browser";
    MakeArchive("Broken.wsz", {File("readme.txt", "no skin here")});
    const std::string hostile = "<img src=x onerror=\"document.title='owned'\">";
    MakeSkin(hostile, kRed);
    EXPECT_EQ(RunGallery(Quoted(corpus) + " " + Quoted(root / "skins")), 1) << Errors();  // Broken fails
    EXPECT_NE(Errors().find("14 rendered, 0 skipped, 1 failed"), std::string::npos) << Errors();

    const fs::path script = fs::path(VELTRANE_SOURCE_DIR) / "tests" / "tools" / "gallery_browser.py";
    const std::string command = "python3 " + Quoted(script) + " " + Quoted(gallery() / "index.html") +
                                " amiga Paper-Amp " + Quoted(root / "screenshot.png") + " >" +
                                Quoted(root / "facts.txt") + " 2>" + Quoted(root / "browser.txt");
    const int status = std::system(command.c_str());
    const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (exitCode == 77) GTEST_SKIP() << Read(root / "browser.txt");
    ASSERT_EQ(exitCode, 0) << Read(root / "browser.txt") << Read(root / "facts.txt");
    std::map<std::string, std::string> facts;
    std::istringstream lines(Read(root / "facts.txt"));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t space = line.find(' ');
        facts[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
    }
    SCOPED_TRACE(Read(root / "facts.txt"));
    // 15 skins, 14 tiles: the folder base-2.91 and base-2.91.wsz have the same pixels and share one.
    EXPECT_EQ(facts["tiles"], "14");
    EXPECT_EQ(facts["count"], "14");
    EXPECT_EQ(facts["title"], "Skin-Galerie");  // the hostile name ran nothing
    EXPECT_NE(facts["names"].find("\"<img src=x onerror=\\\"document.title='owned'\\\">\""), std::string::npos);
    EXPECT_EQ(facts["reasons"], "[\"Nicht darstellbar: no main.bmp in the skin\"]");
    // Every picture on the first screen has arrived and is not blank.
    EXPECT_EQ(facts["blank-pictures"], "[]");
    const int pictures = std::stoi(facts["pictures-on-screen"]);
    EXPECT_GE(pictures, 8);
    EXPECT_EQ(facts["visible-images-loaded"], std::to_string(pictures) + "/" + std::to_string(pictures));
    EXPECT_EQ(facts["search-names"], "[\"AmigaPPC-dark\"]");
    EXPECT_EQ(facts["search-count"], "1 von 14");
    EXPECT_EQ(facts["cleared-tiles"], "14");
    EXPECT_EQ(facts["dialog"], "[true, \"Paper-Amp\", 275, 350, \"" + (corpus / "Paper-Amp.wsz").string() + "\"]");
    EXPECT_EQ(facts["after-escape-open"], "False");
    EXPECT_EQ(facts["arrow-step"], "1");
    EXPECT_EQ(facts["enter-opens"], "[true, \"" + facts["focused-name"] + "\"]");
}
