// An archive spread over three disks: each disk in turn appears at the archive path, as a floppy
// would in its drive, and is recognised by its volume label.
#include "LibraryFixture.h"

#include <cstdio>

namespace {

struct Drive {
    std::string archivePath;
    std::vector<ziptest::Bytes> disks;
    int inserted = 0;           // 1-based disk now at the archive path
    std::vector<int> requests;  // disk numbers asked for, 0 = the last
    int wrongLabels = 0;        // how many label reads still lie
    bool cancel = false;

    void insert(int disk) {
        inserted = disk;
        ziptest::writeFile(archivePath, disks[size_t(disk - 1)]);
    }
} g_drive;

int32_t labelOfInsertedDisk(void*, const char*, char* label, uint32_t capacity) {
    int shown = g_drive.wrongLabels > 0 ? 999 : g_drive.inserted;
    if (g_drive.wrongLabels > 0) --g_drive.wrongLabels;
    std::snprintf(label, capacity, "SKINS%03d", shown);
    return 1;
}

int32_t answerDiskBox(void*, intptr_t, const char*, const char*, int32_t) {
    g_drive.requests.push_back(-1);
    return g_drive.cancel ? TARROW_BOX_ANSWER_CANCEL : TARROW_BOX_ANSWER_OK;
}

class SpanTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        TarrowPlatformHooks hooks{};
        hooks.size = sizeof hooks;
        hooks.volume_label = labelOfInsertedDisk;
        hooks.message_box = answerDiskBox;
        tarrow_platform_set_hooks(&hooks);

        ziptest::Archive a;
        for (const char* name : {"skin/main.bmp", "skin/eqmain.bmp", "skin/pledit.txt"}) {
            ziptest::Member m;
            m.name = name;
            m.data = std::string(60, name[5]);
            a.members.push_back(m);
        }
        a.spanningMarker = true;
        // Members end at 4 + 3 x (30 + name + 60); the central directory starts on the second disk
        // and runs onto the third, which also holds the end record.
        size_t centralStart = 4 + 3 * 90 + 13 + 15 + 15;
        a.diskBreaks = {120, centralStart + 70};
        g_drive = Drive{};
        g_drive.archivePath = path("span.zip");
        g_drive.disks = ziptest::buildDisks(a);
        ASSERT_EQ(g_drive.disks.size(), 3u);
        g_drive.insert(1);
        answer = [](int code, const std::string& text) -> int16_t {
            if (code != TARROW_MSG_DISK) return 0;
            int disk = std::atoi(text.substr(text.find('|') + 1).c_str());
            g_drive.requests.push_back(disk);
            if (g_drive.cancel) return 255;
            g_drive.insert(disk == 0 ? 3 : disk);
            return 0;
        };
    }
};

}  // namespace

TEST_F(SpanTest, ListsAcrossDisksAskingForEachInTurn) {
    EXPECT_EQ(list(g_drive.archivePath), 3);
    EXPECT_EQ(Tarrow_GetLastError(), 0);
    EXPECT_EQ(texts(TARROW_MSG_LISTING).size(), 3u);
    EXPECT_EQ(texts(TARROW_MSG_DISK).at(0), g_drive.archivePath + "|0|");
    EXPECT_EQ(g_drive.requests, (std::vector<int>{0, 2, 3}));
}

TEST_F(SpanTest, WrongLabelRepeatsTheRequest) {
    g_drive.wrongLabels = 1;
    EXPECT_EQ(list(g_drive.archivePath), 3);
    EXPECT_EQ(g_drive.requests, (std::vector<int>{0, 2, 2, 3}));
}

TEST_F(SpanTest, CancelInTheCallbackAborts) {
    g_drive.cancel = true;
    EXPECT_EQ(list(g_drive.archivePath), 0);
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_ABORTED);
    EXPECT_EQ(g_drive.requests, std::vector<int>{0});
}

TEST_F(SpanTest, CancelInTheDiskBoxAborts) {
    Tarrow_InstallCallback(nullptr);
    g_drive.cancel = true;
    EXPECT_EQ(list(g_drive.archivePath), 0);
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_ABORTED);
    EXPECT_EQ(g_drive.requests, std::vector<int>{-1});
}
