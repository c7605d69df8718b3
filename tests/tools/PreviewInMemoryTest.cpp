// The in-memory reading of skin archives against the unpacking pipeline: every corpus archive and
// every generated layout must give the same outcome and, when rendered, byte-identical previews.
#include "PreviewToolFixture.h"

#include "../viewer/rendering/SkinFixtures.h"
#include "InMemorySkin.h"
#include "SkinRender.h"
#include "archive/UnZIP.h"

#include <cstring>

using namespace veltrane;
using namespace veltrane::preview;
using namespace veltrane::test;

namespace {

struct Outcome {
    bool rendered = false;
    std::string error;
    Dib canvas;
};

Outcome Render(const fs::path& archive, const std::string& temp, ArchiveReading reading) {
    Outcome o;
    const SkinSource source{SkinSource::Kind::Archive, archive.string(), archive.stem().string()};
    o.rendered = RenderSkinSource(source, temp, o.canvas, o.error, reading);
    return o;
}

bool SamePixels(const Dib& a, const Dib& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount()) return false;
    for (int32_t y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.Row(y), b.Row(y), std::size_t(a.Width()) * 3) != 0) return false;
    return true;
}

// Renders the archive both ways; returns the in-memory outcome for further checks.
Outcome ExpectSameBothWays(const fs::path& archive, const std::string& temp) {
    SCOPED_TRACE(archive.filename().string());
    Outcome files = Render(archive, temp, ArchiveReading::ViaFiles);
    Outcome memory = Render(archive, temp, ArchiveReading::InMemory);
    EXPECT_EQ(memory.rendered, files.rendered) << "files: " << files.error << "; memory: " << memory.error;
    if (memory.rendered && files.rendered) {
        EXPECT_TRUE(SamePixels(memory.canvas, files.canvas));
    }
    return memory;
}

std::string ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "veltrane-inmemory-XXXXXX").string();
    return mkdtemp(pattern.data()) ? pattern + "/" : std::string();
}

class BothWays : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(fs::path(VELTRANE_BIN_DIR) / "libPackage.so")) GTEST_SKIP() << "libPackage.so not built";
        SetPackageLibraryFolder(std::string(VELTRANE_BIN_DIR) + "/");
        temp = ScratchFolder();
        store = ScratchFolder();
        ASSERT_FALSE(temp.empty() || store.empty());
    }
    void TearDown() override {
        if (temp.empty()) return;
        // The unpacking path cleans up after itself; the in-memory one never writes.
        EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 0);
        fs::remove_all(temp);
        if (!store.empty()) fs::remove_all(store);
    }
    fs::path Archive(const std::string& name, const std::vector<ziptest::Member>& members) {
        ziptest::Archive archive;
        archive.members = members;
        ziptest::writeFile(store + name, ziptest::build(archive));
        return store + name;
    }
    std::string temp, store;  // the working folder, and where the generated archives lie
};

using ziptest::deflated;
using ziptest::stored;

// A standard skin file whose pixels name it (tag) and its coordinates.
std::string Bitmap(SkinFile id, int tag = 0) {
    for (const SkinFileInfo& f : StandardFiles())
        if (f.id == id) return ziptest::toString(EncodePicture(TaggedBitmap(tag ? tag : id, f.width, f.height)));
    return {};
}

// Every standard file of a synthetic skin below folder, deflated, each named as given.
std::vector<ziptest::Member> Skin(const std::string& folder, std::vector<SkinFile> omit = {}) {
    std::vector<ziptest::Member> members;
    for (const SkinFileInfo& f : StandardFiles())
        if (std::find(omit.begin(), omit.end(), f.id) == omit.end())
            members.push_back(deflated(folder + f.name, Bitmap(f.id)));
    return members;
}

std::vector<ziptest::Member> Join(std::vector<ziptest::Member> a, const std::vector<ziptest::Member>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST_F(BothWays, EveryCorpusArchiveGivesTheSameOutcomeAndPreview) {
    const fs::path corpus = fs::path(VELTRANE_SHARED_DIR) / "corpus";
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus";
    std::size_t rendered = 0, archives = 0;
    for (const char* part : {"skins", "zip"})
        for (const auto& entry : fs::directory_iterator(corpus / part)) {
            if (!entry.is_regular_file() || !IsArchiveArgument(entry.path().string())) continue;
            ++archives;
            rendered += ExpectSameBothWays(entry.path(), temp).rendered;
        }
    EXPECT_GE(archives, 12u);
    EXPECT_GE(rendered, 12u);  // every corpus skin archive renders
}

TEST_F(BothWays, GeneratedLayoutsFindTheSameSkinFolderAndFiles) {
    const std::string red = MainBitmap({0, 0, 200, 0}), blue = MainBitmap({200, 0, 0, 0});
    const std::vector<std::pair<std::string, std::vector<ziptest::Member>>> layouts = {
        {"whole.wsz", Skin("")},
        {"nested.wsz", Skin("Skin/Inner/", {kBalance, kNumbers})},
        // The pipeline takes the first subfolder in name order holding a main.bmp below it, and in
        // it the folder itself before its subfolders.
        {"siblings.wsz", Join(Skin("b/"), Join(Skin("A/sub/", {kEqMain}), {stored("A/Main.bmp", red)}))},
        {"deeper.wsz", Join({stored("x/y/main.bmp", red)}, {stored("x/z/MAIN.BMP", blue), stored("readme", "")})},
        // Fallbacks: a folder where BALANCE.BMP would be, NUMS_EX.BMP for NUMBERS.BMP.
        {"fallbacks.wsz",
         Join(Skin("", {kBalance, kNumbers}), {stored("balance.bmp/", ""), stored("balance.bmp/x", "")})},
        {"pledit.wsz", Join(Skin("s/"), {stored("s/pledit.txt", "[Text]\r\nNormalBG=#102030\r\n")})},
        {"pledit-upper.wsz", Join(Skin(""), {deflated("PLEDIT.TXT", "[text]\nnormalbg = 'a0B0c0'\n")})},
        // Broken pieces the windows look up: an unreadable bitmap keeps the default artwork.
        {"unreadable.wsz",
         Join(Skin("", {kTitleBar, kVolume}), {stored("titlebar.bmp", "BM"), stored("VOLUME.BMP", "")})},
        {"no-main.wsz", Skin("", {kMain})},
        {"main-not-bitmap.wsz", Join(Skin("", {kMain}), {stored("main.bmp", "not a bitmap")})},
        {"folders-only.wsz", {stored("a/", ""), stored("a/b/", "")}},
    };
    for (const auto& [name, members] : layouts) ExpectSameBothWays(Archive(name, members), temp);
}

TEST_F(BothWays, DamageInAMemberTheWindowsReadFailsTheSkinBothWays) {
    std::vector<ziptest::Member> badCrc = Skin("");
    badCrc[1].crc = 1234;  // PLAYPAUS.BMP
    std::vector<ziptest::Member> badData = Skin("");
    badData[0].packed = std::string(40, '\xff');  // MAIN.BMP: an invalid block type
    std::vector<ziptest::Member> method = Skin("");
    method[2].method = 99;  // CBUTTONS.BMP
    std::vector<ziptest::Member> encrypted = Skin("");
    encrypted[13].flags = 1;  // PLEDIT.BMP
    for (const auto& [name, members] : std::vector<std::pair<std::string, std::vector<ziptest::Member>>>{
             {"crc.wsz", badCrc}, {"data.wsz", badData}, {"method.wsz", method}, {"encrypted.wsz", encrypted}}) {
        const Outcome memory = ExpectSameBothWays(Archive(name, members), temp);
        EXPECT_FALSE(memory.rendered) << name;
        EXPECT_NE(memory.error.find("cannot be unpacked"), std::string::npos) << name << ": " << memory.error;
    }
    // What is not an archive is named as the library names it.
    std::ofstream(store + "junk.wsz") << "junk";
    const Outcome junk = ExpectSameBothWays(store + "junk.wsz", temp);
    EXPECT_NE(junk.error.find("not a ZIP archive"), std::string::npos) << junk.error;
}

TEST_F(BothWays, ALocalHeaderDeclaringMoreThanTheCatalogueFailsTheSkinBeforeAnythingIsDecoded) {
    std::vector<ziptest::Member> members = Skin("");
    // The catalogue promises 10 bytes of EQMAIN.BMP; its local header claims 4 GiB - 2.
    members[12].uncompressedSize = 10;
    ziptest::Archive archive;
    archive.members = members;
    ziptest::Bytes bytes = ziptest::build(archive);
    // Patch the local header's size (offset 22 in it) of that member back to the large value.
    const std::size_t local = ziptest::toString(bytes).find("EQMAIN.BMP") - 30;
    ASSERT_EQ(ziptest::toString(bytes).substr(local, 4), std::string("PK\x03\x04"));
    for (int i = 0; i < 4; ++i) bytes[local + 22 + i] = i == 0 ? 0xFE : 0xFF;
    const fs::path path = store + "liar.wsz";
    ziptest::writeFile(path.string(), bytes);
    const Outcome memory = Render(path, temp, ArchiveReading::InMemory);
    EXPECT_FALSE(memory.rendered);
    // The library finds the headers disagreeing while reading the catalogue: the member is damaged.
    EXPECT_NE(memory.error.find("a member of the archive cannot be unpacked: EQMAIN.BMP: "), std::string::npos)
        << memory.error;
}

TEST(ArchiveSkinFolder, CaseMergedTreeWithTheLaterMemberAndConflicts) {
    const auto entry = [](const char* name, uint64_t size) {
        tarrow_entry e{};
        e.name = name;
        e.size = size;
        return e;
    };
    const std::vector<tarrow_entry> members = {
        entry("Skin/", 0),     entry("Skin/Main.bmp", 5),  entry("SKIN/MAIN.BMP", 7),
        entry("skin/sub/", 0), entry("Other/main.bmp", 3),
    };
    ArchiveSkinFolder skin = FindArchiveSkinFolder(members);
    EXPECT_EQ(skin.folder, "Other/");  // "Other" comes before "Skin" in name order
    ASSERT_EQ(skin.entries.size(), 1u);
    EXPECT_EQ(skin.members[0], 4u);

    skin = FindArchiveSkinFolder({members.begin(), members.begin() + 4});
    EXPECT_EQ(skin.folder, "Skin/");
    ASSERT_EQ(skin.entries.size(), 2u);
    EXPECT_EQ(skin.entries[0].name, "Main.bmp");  // the first spelling
    EXPECT_EQ(skin.entries[0].size, 7u);          // the later member's
    EXPECT_EQ(skin.members[0], 2u);
    EXPECT_TRUE(skin.entries[1].folder);
    EXPECT_FALSE(skin.conflict);

    // Members lie where extraction writes them: ".." dropped, backslashes separating.
    skin = FindArchiveSkinFolder({entry("..\\Evil\\main.bmp", 1)});
    EXPECT_EQ(skin.folder, "Evil/");
    // A folder flag without a trailing separator makes a folder all the same.
    tarrow_entry flagged = entry("a", 0);
    flagged.flags = TARROW_ENTRY_FOLDER;
    EXPECT_TRUE(FindArchiveSkinFolder({flagged, entry("A", 1)}).conflict);
    EXPECT_TRUE(FindArchiveSkinFolder({entry("a", 1), entry("A/b", 1)}).conflict);
    EXPECT_TRUE(FindArchiveSkinFolder({entry("a/", 0), entry("A", 1)}).conflict);
}

TEST_F(PreviewTool, InMemoryRunsWriteNothingToTheTemporaryFolder) {
    MakeArchive("Red.wsz", {deflated("Red/main.bmp", MainBitmap({0, 0, 200, 0}))});
    MakeSkin("Folder", {200, 0, 0, 0});
    ASSERT_EQ(Run("-f bmp -o " + Quoted(out) + " " + Quoted(root / "skins")), 0) << Errors();
    EXPECT_EQ(BackgroundOf(out / "Red.bmp"), MakeColorRef(200, 0, 0));
    EXPECT_TRUE(fs::is_empty(tmp));
    ASSERT_EQ(Run("--via-files --force -f bmp -o " + Quoted(root / "out2") + " " + Quoted(root / "skins")), 0)
        << Errors();
    EXPECT_EQ(Read(out / "Red.bmp"), Read(root / "out2" / "Red.bmp"));
    EXPECT_TRUE(fs::is_empty(tmp));
}
