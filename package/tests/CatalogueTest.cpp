// Reading archives: end record search, comment, central directory walk, selection, view mode.
#include "LibraryFixture.h"
#include "Operation.h"

#include <algorithm>

using ziptest::Archive;
using ziptest::Member;
using CatalogueTest = LibraryTest;

namespace {

using ziptest::stored;

// Member names of the listing messages, folder and file part joined again.
std::vector<std::string> listedNames(const std::vector<std::string>& listings) {
    std::vector<std::string> names;
    for (const std::string& t : listings) {
        size_t a = t.find('|'), b = t.find('|', a + 1), c = t.find('|', b + 1);
        std::string folder = t.substr(a + 1, b - a - 1), file = t.substr(b + 1, c - b - 1);
        names.push_back(folder.empty() ? file : file.empty() ? folder : folder + "/" + file);
    }
    return names;
}

}  // namespace

TEST_F(CatalogueTest, ListsEachMemberOnce) {
    Archive a;
    a.members = {stored("skins/main.bmp", "BM1234"), stored("pledit.txt", "[Text]")};
    std::string file = writeArchive("two.zip", a);
    EXPECT_EQ(list(file), 2);
    EXPECT_EQ(listedNames(texts(TARROW_MSG_LISTING)), (std::vector<std::string>{"skins/main.bmp", "pledit.txt"}));
    EXPECT_EQ(Tarrow_GetLastError(), 0);
}

namespace {

std::vector<int> errorCodes(const std::vector<std::string>& errors) {
    std::vector<int> codes;
    for (const std::string& t : errors) codes.push_back(std::atoi(t.substr(t.rfind('|', t.size() - 2) + 1).c_str()));
    return codes;
}

size_t find(const ziptest::Bytes& bytes, const std::string& what) {
    auto it = std::search(bytes.begin(), bytes.end(), what.begin(), what.end());
    return size_t(it - bytes.begin());
}

Archive skin() {
    Archive a;
    a.members = {stored("skin/main.bmp", std::string(200, 'M')), stored("skin/pledit.txt", "[Text]\r\nNormal=#00FF00"),
                 stored("README", "read me")};
    return a;
}

}  // namespace

TEST_F(CatalogueTest, CommentIsReportedInFull) {
    Archive a = skin();
    for (int i = 0; i < 300; ++i) a.comment += char('a' + i % 26);
    std::string file = writeArchive("c.zip", a);
    EXPECT_EQ(list(file), 3);
    ASSERT_EQ(texts(TARROW_MSG_COMMENT).size(), 1u);
    EXPECT_EQ(texts(TARROW_MSG_COMMENT)[0], file + "|300|" + a.comment);
    EXPECT_EQ(messages.front().code, TARROW_MSG_COMMENT);  // before the members
}

TEST_F(CatalogueTest, LongCommentShowsItsFirst1024Bytes) {
    Archive a = skin();
    a.comment = std::string(1024, 'c') + std::string(2000, 'd');
    std::string file = writeArchive("c.zip", a);
    EXPECT_EQ(list(file), 3);
    EXPECT_EQ(texts(TARROW_MSG_COMMENT).at(0), file + "|1024|" + std::string(1024, 'c'));
}

TEST_F(CatalogueTest, CommentCutShortIsAWarning) {
    Archive a = skin();
    a.comment = "short";
    a.commentLength = 50;  // runs past the end of the file
    std::string file = writeArchive("c.zip", a);
    // The end record does not account for the rest of the file, but it is the only one.
    EXPECT_EQ(list(file), 3);
    EXPECT_TRUE(texts(TARROW_MSG_COMMENT).empty());
    EXPECT_EQ(Tarrow_GetLastWarning(), TARROW_WARNING_COMMENT);
}

TEST_F(CatalogueTest, EndSignatureInsideTheCommentIsNotTaken) {
    Archive a = skin();
    a.comment = std::string("fake PK\x05\x06", 9) + std::string(30, 'z');
    std::string file = writeArchive("c.zip", a);
    EXPECT_EQ(list(file), 3);
    EXPECT_EQ(Tarrow_GetLastError(), 0);
}

TEST_F(CatalogueTest, BytesAfterTheEndRecordAreTolerated) {
    Archive a = skin();
    a.trailer = ziptest::Bytes(100000, 'j');  // longer than one search chunk
    std::string file = writeArchive("t.zip", a);
    EXPECT_EQ(list(file), 3);
    EXPECT_EQ(Tarrow_GetLastError(), 0);
}

TEST_F(CatalogueTest, SelfExtractorStubShiftsEveryOffset) {
    Archive a = skin();
    a.prefix = ziptest::Bytes(5000, 'X');
    a.offsetsFromArchiveStart = true;
    std::string file = writeArchive("sfx.exe", a);

    tarrow::Operation op;
    op.initialise();
    op.settings.archiveName = file;
    op.messageBuffer.reset(new char[TARROW_MESSAGE_SIZE]);
    ASSERT_TRUE(tarrow::findEndRecord(op));
    EXPECT_EQ(op.input.offsetAdjustment, 5000);

    EXPECT_EQ(list(file), 3);
    EXPECT_EQ(Tarrow_GetLastError(), 0);
}

TEST_F(CatalogueTest, PrependedBytesWithAbsoluteOffsets) {
    Archive a = skin();
    a.prefix = ziptest::Bytes(89, 'X');
    std::string file = writeArchive("p.zip", a);
    EXPECT_EQ(list(file), 3);
    EXPECT_EQ(Tarrow_GetLastError(), 0);
}

TEST_F(CatalogueTest, MissingOrUnreadableArchives) {
    EXPECT_EQ(list(path("absent.zip")), 0);
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_NO_ARCHIVE);
    EXPECT_EQ(list(path("")), 0);  // a folder
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_NO_ARCHIVE);

    ziptest::writeFile(path("plain.zip"), ziptest::Bytes(40000, 'n'));
    EXPECT_EQ(list(path("plain.zip")), 0);
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_NO_END_RECORD);
    EXPECT_EQ(texts(TARROW_MSG_ERROR).back(), path("plain.zip") + "|" + path("plain.zip") + "|2|");

    ziptest::writeFile(path("empty.zip"), {});
    EXPECT_EQ(list(path("empty.zip")), 0);
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_NO_END_RECORD);
}

TEST_F(CatalogueTest, TruncatedEndRecordIsUnreadable) {
    ziptest::Bytes bytes = ziptest::build(skin());
    bytes.erase(bytes.end() - 10, bytes.end());
    ziptest::writeFile(path("cut.zip"), bytes);
    EXPECT_EQ(list(path("cut.zip")), 0);
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_READ);
}

TEST_F(CatalogueTest, WrongCentralSignature) {
    Archive a = skin();
    a.centralSignature = 0x02014B51;
    std::string file = writeArchive("bad.zip", a);
    EXPECT_EQ(list(file), 0);
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_BAD_CENTRAL);
    EXPECT_TRUE(texts(TARROW_MSG_LISTING).empty());
}

TEST_F(CatalogueTest, MoreEntriesClaimedThanPresent) {
    Archive a = skin();
    a.totalEntries = 5;
    std::string file = writeArchive("more.zip", a);
    EXPECT_EQ(list(file), 3);
    EXPECT_EQ(errorCodes(texts(TARROW_MSG_ERROR)), std::vector<int>{TARROW_ERROR_BAD_CENTRAL});
}

TEST_F(CatalogueTest, HeaderCutShortIsUnreadableNotStale) {
    ziptest::Bytes bytes = ziptest::build(skin());
    size_t central = find(bytes, "PK\x01\x02");
    bytes[central + 28] = 0xFF;  // a name that runs far past the end of the file
    bytes[central + 29] = 0x7F;
    ziptest::writeFile(path("long.zip"), bytes);
    EXPECT_EQ(list(path("long.zip")), 0);
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_READ);
    EXPECT_TRUE(texts(TARROW_MSG_LISTING).empty());
}

TEST_F(CatalogueTest, NamesAreKeptTo1023Bytes) {
    Archive a;
    a.members = {stored(std::string(1500, 'n'), "x"), stored("after.txt", "y")};
    std::string file = writeArchive("names.zip", a);
    EXPECT_EQ(list(file), 2);
    std::vector<std::string> names = listedNames(texts(TARROW_MSG_LISTING));
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], std::string(1023, 'n'));
    EXPECT_EQ(names[1], "after.txt");  // the rest of the long name was skipped, not read as a header
}

TEST_F(CatalogueTest, ListingCarriesTheFirstExtraBlock) {
    Archive a;
    Member m = stored("skin/main.bmp", "BM");
    m.extra = ziptest::extraBlock(0x5455, "\x03\x01\x02\x03\x04");
    ziptest::Bytes second = ziptest::extraBlock(0x7875, "ux");
    m.extra.insert(m.extra.end(), second.begin(), second.end());
    m.comment = "member comment";
    a.members = {m, stored("next.txt", "n")};
    std::string file = writeArchive("extra.zip", a);
    EXPECT_EQ(list(file), 2);
    std::string first = texts(TARROW_MSG_LISTING).at(0);
    EXPECT_EQ(first.substr(first.size() - 15), "|21589|5|\x03\x01\x02\x03\x04|");
    EXPECT_EQ(listedNames(texts(TARROW_MSG_LISTING)).at(1), "next.txt");
}

TEST_F(CatalogueTest, ViewSelectsByBaseNameAndListsUnsupportedMembers) {
    Archive a = skin();
    a.members[0].method = 19;  // not ours to decode, but listed
    a.members[0].versionNeeded = 46;
    std::string file = writeArchive("v.zip", a);
    EXPECT_EQ(list(file, "main.bmp|*.txt"), 2);
    EXPECT_EQ(listedNames(texts(TARROW_MSG_LISTING)), (std::vector<std::string>{"skin/main.bmp", "skin/pledit.txt"}));
    EXPECT_TRUE(texts(TARROW_MSG_WARNING).empty());

    messages.clear();
    Tarrow_Initialise();
    Tarrow_ArchiveName(file.c_str());
    Tarrow_View(1);
    Tarrow_Exclude("*.bmp");
    EXPECT_EQ(Tarrow(), 2);
    EXPECT_EQ(listedNames(texts(TARROW_MSG_LISTING)), (std::vector<std::string>{"skin/pledit.txt", "README"}));
}

TEST_F(CatalogueTest, ListFilesSelectMembers) {
    std::string file = writeArchive("l.zip", skin());
    ziptest::writeFile(path("in.lst"), {'*', '.', 't', 'x', 't', '\n', 'R', '*'});
    Tarrow_Initialise();
    Tarrow_ArchiveName(file.c_str());
    Tarrow_View(1);
    ASSERT_EQ(Tarrow_IncludeListFile(path("in.lst").c_str()), 1);
    EXPECT_EQ(Tarrow(), 2);
    EXPECT_EQ(listedNames(texts(TARROW_MSG_LISTING)), (std::vector<std::string>{"skin/pledit.txt", "README"}));
}

TEST_F(CatalogueTest, NothingSelectedIsError11) {
    std::string file = writeArchive("n.zip", skin());
    EXPECT_EQ(list(file, "*.exe"), 0);
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_NOTHING_DONE);

    Archive empty;
    file = writeArchive("e.zip", empty);
    EXPECT_EQ(list(file), 0);
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_NOTHING_DONE);
}

TEST_F(CatalogueTest, WalkDropsMembersItCannotDecode) {
    Archive a = skin();
    a.members[0].method = 19;  // IBM's LZ77: not ours
    a.members[1].versionNeeded = 21;
    std::string file = writeArchive("w.zip", a);
    Tarrow_Initialise();
    Tarrow_ArchiveName(file.c_str());
    Tarrow_Test(1);
    Tarrow_RestoreStructure(1);
    Tarrow();
    std::vector<std::string> warnings = texts(TARROW_MSG_WARNING);
    EXPECT_NE(std::find(warnings.begin(), warnings.end(), file + "|skin/main.bmp|11|"), warnings.end());
    EXPECT_NE(std::find(warnings.begin(), warnings.end(), file + "|skin/pledit.txt|24|"), warnings.end());
}

TEST_F(CatalogueTest, AbortFromTheCallbackStopsTheListing) {
    std::string file = writeArchive("a.zip", skin());
    answer = [](int code, const std::string&) -> int16_t {
        if (code == TARROW_MSG_LISTING) Tarrow_Abort(1);  // as a host's window procedure would, while the library runs
        return 0;
    };
    EXPECT_EQ(list(file), 0);
    EXPECT_EQ(texts(TARROW_MSG_LISTING).size(), 1u);
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_ABORTED);

    messages.clear();
    answer = [](int code, const std::string&) -> int16_t { return code == TARROW_MSG_LISTING ? 255 : 0; };
    EXPECT_EQ(list(file), 0);
    EXPECT_EQ(errorCodes(texts(TARROW_MSG_ERROR)), std::vector<int>{255});
}

TEST_F(CatalogueTest, MemoryBlockTooShortOrOfAnUnknownMethod) {
    uint8_t shortBlock[5] = {0, 8, 1, 2, 3};
    EXPECT_EQ(Tarrow_FromMemory(shortBlock, sizeof shortBlock), 1);
    EXPECT_EQ(Tarrow(), 0);
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_READ);
    EXPECT_EQ(texts(TARROW_MSG_ERROR).back(), "-|-|51|");

    uint8_t block[16] = {0, 7, 0, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 'a', 'b'};
    char out[8];
    Tarrow_Initialise();
    EXPECT_EQ(Tarrow_InMemory(block, sizeof block, out, sizeof out), 0);
    EXPECT_EQ(Tarrow_GetLastWarning(), TARROW_WARNING_METHOD);
    EXPECT_EQ(texts(TARROW_MSG_WARNING).back(), "-|-|11|");
    EXPECT_EQ(Tarrow_InMemory(nullptr, 0, out, sizeof out), 0);
}

TEST_F(CatalogueTest, DisplayCommentShowsItInABox) {
    static std::string shown;
    TarrowPlatformHooks hooks{};
    hooks.size = sizeof hooks;
    hooks.message_box = [](void*, intptr_t, const char* text, const char* title, int32_t) -> int32_t {
        shown = std::string(title) + ": " + text;
        return TARROW_BOX_ANSWER_OK;
    };
    tarrow_platform_set_hooks(&hooks);
    Archive a = skin();
    a.comment = "Blue skin";
    std::string file = writeArchive("c.zip", a);
    Tarrow_Initialise();
    Tarrow_ArchiveName(file.c_str());
    Tarrow_View(1);
    Tarrow_DisplayComment(1);
    EXPECT_EQ(Tarrow(), 3);
    EXPECT_EQ(shown, "Comment in " + file + ": Blue skin");
}

TEST_F(CatalogueTest, DamagedArchivesEndInTheirCodes) {
    Archive a = skin();
    a.comment = "comment";
    a.members[0].extra = ziptest::extraBlock(0x5455, "\x03\x01\x02\x03\x04");
    const ziptest::Bytes good = ziptest::build(a);
    answer = [](int code, const std::string&) -> int16_t { return code == TARROW_MSG_DISK ? 255 : 0; };
    uint32_t seed = 12345;
    auto random = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    for (int round = 0; round < 300; ++round) {
        ziptest::Bytes bytes = good;
        for (int k = 0; k < 1 + round % 4; ++k) bytes[random() % bytes.size()] = uint8_t(random());
        if (round % 3 == 0) bytes.erase(bytes.begin() + ptrdiff_t(random() % bytes.size()), bytes.end());
        ziptest::writeFile(path("d.zip"), bytes);
        list(path("d.zip"));
        int error = Tarrow_GetLastError();
        EXPECT_TRUE(error == 0 || error == 2 || error == 3 || error == 11 || error == 51 || error == 255)
            << "round " << round << ": " << error;
    }
}

// A name that is empty once cut at its first NUL: a Unicode path field names the member when its CRC
// matches the stored bytes, a placeholder does otherwise; listing and test show the same name.
TEST_F(CatalogueTest, EmptyNamesAreNeverShownAsNothing) {
    for (bool fresh : {true, false}) {
        SCOPED_TRACE(fresh ? "field matches" : "stale field");
        const std::string raw("\0x", 2);
        ziptest::Member m = ziptest::stored(raw, "data");
        m.extra = ziptest::unicodeBlock(0x7075, fresh ? raw : std::string("other"), "\xC3\x9Cni.txt");
        ziptest::Archive a;
        a.members = {m};
        const std::string zip = writeArchive("e.zip", a);
        const std::string name = fresh ? "\xC3\x9Cni.txt" : "member-1";
        messages.clear();
        EXPECT_EQ(list(zip), 1);
        ASSERT_EQ(texts(TARROW_MSG_LISTING).size(), 1u);
        EXPECT_EQ(texts(TARROW_MSG_LISTING)[0].substr(zip.size() + 1, name.size() + 2), "|" + name + "|");
        messages.clear();
        EXPECT_EQ(test(zip), 1);
        ASSERT_EQ(texts(TARROW_MSG_TEST_DONE).size(), 1u);
        EXPECT_EQ(texts(TARROW_MSG_TEST_DONE)[0].substr(zip.size() + 1, name.size() + 1), name + "|");
    }
}
