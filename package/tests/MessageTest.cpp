// Message texts as the host receives them, byte for byte, and the ways they reach it.
#include "LibraryFixture.h"
#include "Overwrite.h"
#include "Operation.h"
#include "Messages.h"

#include <cstring>

using tarrow::CentralHeader;
using tarrow::FatalError;
using tarrow::Operation;

namespace {

// A member's time taken from its DOS fields, as for a header without a time field.
const tarrow::core::ModificationTime kDosTime{};

std::vector<Delivered> g_received;
int16_t g_answer = 0;

int16_t capture(int32_t, int32_t code, const char* text) {
    g_received.push_back({code, text});
    return g_answer;
}

intptr_t g_user = 0;
int16_t captureEx(int32_t, int32_t code, const char* text, intptr_t user) {
    g_user = user;
    g_received.push_back({code, text});
    return 0;
}

struct HookLog {
    std::vector<std::string> windowTexts;
    std::vector<std::string> boxes;
    std::string dialogText;
    int pumps = 0;
    int boxAnswer = TARROW_BOX_ANSWER_OK;
    int dialogAnswer = TARROW_OVERWRITE_YES;
} g_hooks;

TarrowPlatformHooks recordingHooks() {
    TarrowPlatformHooks h{};
    h.size = sizeof h;
    h.pump_messages = [](void*) { ++g_hooks.pumps; };
    h.send_text = [](void*, intptr_t, const char* text) { g_hooks.windowTexts.push_back(text); };
    h.message_box = [](void*, intptr_t, const char* text, const char* title, int32_t) {
        g_hooks.boxes.push_back(std::string(title) + ": " + text);
        return int32_t(g_hooks.boxAnswer);
    };
    h.overwrite_dialog = [](void*, intptr_t, const char* text) {
        g_hooks.dialogText = text;
        return int32_t(g_hooks.dialogAnswer);
    };
    return h;
}

// An operation in the middle of a main call, reporting to `capture`.
class MessageTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_received.clear();
        g_answer = 0;
        g_hooks = HookLog{};
        TarrowPlatformHooks h = recordingHooks();
        tarrow_platform_set_hooks(&h);
        op.initialise();
        op.settings.archiveName = "C:/skins/x.zip";
        op.messageBuffer.reset(new char[TARROW_MESSAGE_SIZE]);
        op.host.callback = capture;
    }
    void TearDown() override { tarrow_platform_set_hooks(nullptr); }

    std::string last() const { return g_received.empty() ? "" : g_received.back().text; }

    Operation op;
};

CentralHeader mainBmp() {
    CentralHeader h;
    h.name = "skins/main.bmp";
    h.uncompressedSize = h.compressedSize = 4000;
    h.dosDate = uint16_t((1999 - 1980) << 9 | 2 << 5 | 3);
    h.dosTime = uint16_t(10 << 11 | 20 << 5 | 15);
    h.externalAttributes = 32;
    h.crc32 = 0x0A1B2C3D;
    h.versionMadeBy = 20;
    h.versionNeeded = 10;
    return h;
}

}  // namespace

TEST_F(MessageTest, ErrorNamesArchiveFileAndCode) {
    tarrow::raiseError(op, 2, "C:/skins/x.zip");
    EXPECT_EQ(last(), "C:/skins/x.zip|C:/skins/x.zip|2|");
    EXPECT_EQ(op.lastError, 2);

    op.host.callback = nullptr;
    op.host.window = 42;
    tarrow::raiseError(op, 2, "C:/skins/x.zip");
    ASSERT_EQ(g_hooks.windowTexts.size(), 1u);
    EXPECT_EQ(g_hooks.windowTexts[0], "1| 22|C:/skins/x.zip|C:/skins/x.zip|2|");
    EXPECT_THROW(tarrow::raiseError(op, 4, ""), FatalError);
    EXPECT_EQ(g_hooks.windowTexts.back(), "1| 22|C:/skins/x.zip||4|");
}

TEST_F(MessageTest, WarningLayout) {
    tarrow::raiseWarning(op, 15, "out/a.txt");
    EXPECT_EQ(g_received.back().code, 23);
    EXPECT_EQ(last(), "C:/skins/x.zip|out/a.txt|15|");
    EXPECT_EQ(op.lastWarning, 15);
}

TEST_F(MessageTest, ProgressOfAMemberWrittenInBlocks) {
    op.counters.selected = 3;
    op.counters.currentIndex = 1;
    op.counters.selectedCompressed = 5000;
    op.counters.compressedRead = 1234;
    std::vector<std::string> seen;
    for (uint32_t done : {0u, 32768u, 65536u, 98304u, 100000u}) {
        tarrow::sendProgress(op, 14, "out/a.bin", 100000, done);
        seen.push_back(last());
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"C:/skins/x.zip|out/a.bin|100000|0|0|3|1|5000|1234|",
                                              "C:/skins/x.zip|out/a.bin|100000|32768|33|3|1|5000|1234|",
                                              "C:/skins/x.zip|out/a.bin|100000|65536|66|3|1|5000|1234|",
                                              "C:/skins/x.zip|out/a.bin|100000|98304|99|3|1|5000|1234|",
                                              "C:/skins/x.zip|out/a.bin|100000|100000|100|3|1|5000|1234|"}));
    tarrow::sendProgress(op, 15, "out/a.bin", 100000, 100000);  // completion counts from 1
    EXPECT_EQ(last(), "C:/skins/x.zip|out/a.bin|100000|100000|100|3|2|5000|1234|");
    tarrow::sendProgress(op, 16, "empty", 0, 0);
    EXPECT_EQ(last(), "C:/skins/x.zip|empty|0|0|100|3|1|5000|1234|");
}

// Sizes and counters beyond 32 bits are printed whole, and the per cent done is right for them.
TEST_F(MessageTest, ProgressAndListingCarryZip64SizesWhole) {
    const uint64_t size = 5 * (uint64_t(1) << 30) + 7;  // 5 GiB and a little
    op.counters.selected = 1;
    op.counters.selectedCompressed = uint64_t(1) << 33;
    op.counters.compressedRead = (uint64_t(1) << 32) + 1;
    tarrow::sendProgress(op, 14, "big.bin", size, size / 2);
    EXPECT_EQ(last(), "C:/skins/x.zip|big.bin|5368709127|2684354563|50|1|0|8589934592|4294967297|");

    CentralHeader h = mainBmp();
    h.uncompressedSize = size;
    h.compressedSize = size / 4;
    tarrow::sendListing(op, h, kDosTime);
    EXPECT_EQ(last().substr(0, 55), "C:/skins/x.zip|skins|main.bmp|5368709127|1342177281|75|");
}

TEST_F(MessageTest, ListingOfAStoredMember) {
    tarrow::sendListing(op, mainBmp(), kDosTime);
    EXPECT_EQ(g_received.back().code, 21);
    EXPECT_EQ(last(), "C:/skins/x.zip|skins|main.bmp|4000|4000|0|1999-02-03|10:20:30|32|0|0|0a1b2c3d|1|2.0|1.0|0|0||");
}

TEST_F(MessageTest, ListingFieldsOfOtherMembers) {
    CentralHeader h = mainBmp();
    h.name = "skins/themes/";
    h.externalAttributes = 0x10;  // a folder: whole name, no file part
    h.method = 8;
    h.flags = 6 | 1;          // deflate option bits 1 and 2, encrypted
    h.compressedSize = 1012;  // 1000 after the 12-byte encryption header
    h.uncompressedSize = 4000;
    h.internalAttributes = 1;                               // text
    h.dosDate = uint16_t((2001 - 1980) << 9 | 0 << 5 | 9);  // month 0
    h.versionMadeBy = 63;
    h.versionNeeded = 20;
    h.extra = {0x55, 0x54, 5, 0, 'a', 'b', 'c', 'd', 'e', 0x75, 0x78, 0, 0};
    tarrow::sendListing(op, h, kDosTime);
    EXPECT_EQ(
        last(),
        "C:/skins/x.zip|skins/themes/||4000|1012|75|2001-06-09|10:20:30|16|83|1|0a1b2c3d|0|6.3|2.0|21589|5|abcde|");

    h.name = "README";
    h.externalAttributes = 0;
    h.flags = 0;
    h.method = 12;
    h.extra = {0x0A, 0, 9, 0, 'x', 'y'};  // claims 9 data bytes, holds 2
    tarrow::sendListing(op, h, kDosTime);
    EXPECT_EQ(last(), "C:/skins/x.zip||README|4000|1012|75|2001-06-09|10:20:30|0|120|0|0a1b2c3d|0|6.3|2.0|10|9|xy|");
    // A method without a name here lists as 255; an AES member as the method of its data.
    h.method = 19;
    tarrow::sendListing(op, h, kDosTime);
    EXPECT_NE(last().find("|0|255|0|"), std::string::npos) << last();
    h.method = 99;
    h.extra = {0x01, 0x99, 7, 0, 2, 0, 'A', 'E', 3, 14, 0};
    tarrow::sendListing(op, h, kDosTime);
    EXPECT_NE(last().find("|0|140|0|"), std::string::npos) << last();
}

TEST_F(MessageTest, OverlongMessageIsCutAtAFieldBoundary) {
    CentralHeader h = mainBmp();
    h.name = std::string(1000, 'd') + "/" + std::string(20, 'f');
    op.settings.archiveName = std::string(1000, 'a');
    h.extra = {1, 0, 200, 0};
    h.extra.resize(204, 'e');
    tarrow::sendListing(op, h, kDosTime);
    std::string text = last();
    EXPECT_LT(text.size() + 6, size_t(TARROW_MESSAGE_SIZE));
    EXPECT_EQ(text.back(), '|');
    EXPECT_NE(text.find("|" + std::string(20, 'f') + "|"), std::string::npos);
    EXPECT_EQ(text.find("eeee"), std::string::npos);  // the extra data did not fit and was dropped

    op.settings.archiveName = std::string(3000, 'a');
    tarrow::raiseWarning(op, 13, "m");
    EXPECT_EQ(last(), "");
}

TEST_F(MessageTest, PerMilleRatio) {
    EXPECT_EQ(tarrow::perMille(5, 0), 0);
    EXPECT_EQ(tarrow::perMille(250, 1000), 750);
    EXPECT_EQ(tarrow::perMille(1000, 1000), 0);
    EXPECT_EQ(tarrow::perMille(1500, 1000), -500);
    EXPECT_EQ(tarrow::perMille(1000000, 4000000), 750);
    EXPECT_EQ(tarrow::perMille(6000000, 4000000), -500);
    EXPECT_EQ(tarrow::perMille(4000000000u, 1), INT16_MIN);  // far past 16 bits: held at the limit
}

TEST_F(MessageTest, DateTextOfTheOverwriteQuestion) {
    EXPECT_EQ(tarrow::dosDateText(uint16_t((1999 - 1980) << 9 | 2 << 5 | 3), uint16_t(9 << 11 | 5 << 5)),
              " 3 February 1999  9:05");
    EXPECT_EQ(tarrow::dosDateText(uint16_t((2001 - 1980) << 9 | 0 << 5 | 15), uint16_t(23 << 11 | 59 << 5)),
              "15 January 2001 23:59");
}

TEST_F(MessageTest, CallbackAnswer255AbortsButNotOnErrors) {
    g_answer = 255;
    EXPECT_NO_THROW(tarrow::raiseError(op, 51, ""));
    g_received.clear();
    EXPECT_THROW(tarrow::sendListing(op, mainBmp(), kDosTime), FatalError);
    ASSERT_EQ(g_received.size(), 2u);
    EXPECT_EQ(g_received[1].code, 22);
    EXPECT_EQ(g_received[1].text, "C:/skins/x.zip||255|");
    EXPECT_EQ(op.lastError, 255);
}

TEST_F(MessageTest, AbortFlagEndsTheOperationAtTheNextMessage) {
    op.settings.abort = true;
    EXPECT_THROW(tarrow::raiseWarning(op, 15, "a"), FatalError);
    EXPECT_EQ(op.lastError, 255);
    EXPECT_EQ(g_received.back().code, 22);
}

TEST_F(MessageTest, ExtendedCallbackGetsItsUserValueAndEventsRunAfterEachMessage) {
    op.host.callback = nullptr;
    op.host.callbackEx = captureEx;
    op.host.user = 77;
    tarrow::raiseWarning(op, 15, "a");
    tarrow::raiseWarning(op, 15, "b");
    EXPECT_EQ(g_user, 77);
    EXPECT_EQ(g_received.size(), 2u);
    EXPECT_EQ(g_hooks.pumps, 2);
}

TEST_F(MessageTest, NothingIsDeliveredWithoutCallbackOrWindow) {
    op.host.callback = nullptr;
    tarrow::raiseWarning(op, 15, "a");
    EXPECT_TRUE(g_hooks.windowTexts.empty());
    EXPECT_EQ(g_hooks.pumps, 1);
}

TEST_F(MessageTest, OverwriteQuestionThroughTheCallback) {
    g_answer = 3;
    uint16_t date = uint16_t((2001 - 1980) << 9 | 5 << 5 | 1), time = uint16_t(12 << 11);
    int answer = tarrow::askOverwrite(op, "out/main.bmp", 10, tarrow::dosDateText(date, time), 4000,
                                      tarrow::dosDateText(uint16_t(date + 1), time));
    EXPECT_EQ(answer, 3);
    EXPECT_EQ(g_received.back().code, 24);
    EXPECT_EQ(last(), "C:/skins/x.zip|out/main.bmp|10| 1 May 2001 12:00|out/main.bmp|4000| 2 May 2001 12:00|");
}

TEST_F(MessageTest, OverwriteQuestionThroughTheDialog) {
    op.host.callback = nullptr;
    const std::string when = tarrow::dosDateText(uint16_t((2001 - 1980) << 9 | 5 << 5 | 1), uint16_t(12 << 11));
    g_hooks.dialogAnswer = TARROW_OVERWRITE_YES_TO_ALL;
    EXPECT_EQ(tarrow::askOverwrite(op, "out/main.bmp", 10, when, 4000, when), 1);
    EXPECT_EQ(g_hooks.dialogText,
              "A file with this name already exists. Do you wish to overwrite it?"
              "\n\nExisting file: out/main.bmp\n10 bytes   1 May 2001 12:00"
              "\n\nNew file: out/main.bmp\n4000 bytes   1 May 2001 12:00");
    EXPECT_EQ(std::string(op.messageText()), g_hooks.dialogText);
    g_hooks.dialogAnswer = -1;  // closed, or nothing readable: leave the file alone
    EXPECT_EQ(tarrow::askOverwrite(op, "f", 1, when, 1, when), TARROW_OVERWRITE_NO);
    tarrow_platform_set_hooks(nullptr);  // no dialog at all
    EXPECT_EQ(tarrow::askOverwrite(op, "f", 1, when, 1, when), TARROW_OVERWRITE_NO);
}

TEST(OverwriteDialog, EscapeAndUnknownCommandsAnswerNo) {
    EXPECT_EQ(tarrow::dialogAnswerFor(TARROW_DIALOG_YES), TARROW_OVERWRITE_YES);
    EXPECT_EQ(tarrow::dialogAnswerFor(TARROW_DIALOG_YES_TO_ALL), TARROW_OVERWRITE_YES_TO_ALL);
    EXPECT_EQ(tarrow::dialogAnswerFor(TARROW_DIALOG_NO), TARROW_OVERWRITE_NO);
    EXPECT_EQ(tarrow::dialogAnswerFor(TARROW_DIALOG_NO_TO_ALL), TARROW_OVERWRITE_NO_TO_ALL);
    EXPECT_EQ(tarrow::dialogAnswerFor(2), TARROW_OVERWRITE_NO);  // IDCANCEL: Escape or the close box
    EXPECT_EQ(tarrow::dialogAnswerFor(99), TARROW_OVERWRITE_NO);
    EXPECT_EQ(UnzipDlgBoxProc(0, TARROW_WM_INITDIALOG, 0, 0), 1);
    EXPECT_EQ(UnzipDlgBoxProc(0, TARROW_WM_COMMAND, 2, 0), 1);
    EXPECT_EQ(UnzipDlgBoxProc(0, 0x000F, 0, 0), 0);
}

TEST_F(MessageTest, DiskRequestThroughTheMessageBox) {
    op.host.callback = nullptr;
    op.input.askForDisk(0);
    ASSERT_EQ(g_hooks.boxes.size(), 1u);
    EXPECT_EQ(g_hooks.boxes[0],
              "Disk change: Please insert the LAST disk of this multi-disk archive, then click OK to continue");
    g_hooks.boxAnswer = TARROW_BOX_ANSWER_CANCEL;
    EXPECT_THROW(op.input.askForDisk(3), FatalError);
    EXPECT_EQ(g_hooks.boxes.back(), "Disk change: Please insert disk #3, then click OK to continue");
    EXPECT_EQ(op.lastError, 255);
}
