// The reading layer over a memory block and over a file: short reads, headers, skips.
#include "LibraryFixture.h"
#include "Operation.h"

using tarrow::Operation;

namespace {

class ReadingLayerTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        op.initialise();
        op.settings.archiveName = "-";
        op.settings.memoryBlock = block;
        op.settings.memorySize = sizeof block;
        op.messageBuffer.reset(new char[TARROW_MESSAGE_SIZE]);
        op.host.callback = [](int32_t, int32_t code, const char* text) -> int16_t {
            messages.push_back({code, text});
            return 0;
        };
        ASSERT_TRUE(op.input.open());
    }

    const uint8_t block[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    Operation op;
};

}  // namespace

TEST_F(ReadingLayerTest, ShortBlockYieldsWhatIsLeft) {
    uint8_t out[16];
    ASSERT_TRUE(op.input.seek(7));
    EXPECT_EQ(op.input.read(out, sizeof out), 3u);
    EXPECT_EQ(out[0], 8);
    EXPECT_EQ(op.input.read(out, sizeof out), 0u);
    EXPECT_FALSE(op.input.seek(11));
}

TEST_F(ReadingLayerTest, PartialHeaderIsUnreadable) {
    uint8_t out[16];
    ASSERT_TRUE(op.input.seek(4));
    EXPECT_FALSE(op.input.readHeader(out, 8, "m"));
    EXPECT_EQ(op.lastError, TARROW_ERROR_READ);
    EXPECT_EQ(messages.back().text, "-|m|51|");
}

TEST_F(ReadingLayerTest, SkipPastTheEndIsError2ButNotFatal) {
    EXPECT_TRUE(op.input.skip(10));
    EXPECT_FALSE(op.input.skip(1));
    EXPECT_EQ(op.lastError, TARROW_ERROR_NO_END_RECORD);
}

TEST_F(ReadingLayerTest, FileInput) {
    ziptest::writeFile(path("f.bin"), ziptest::Bytes(20000, 7));
    op.settings.memoryBlock = nullptr;
    op.settings.archiveName = path("f.bin");
    ASSERT_TRUE(op.input.open());
    EXPECT_EQ(op.input.size(), 20000);
    EXPECT_TRUE(op.input.skip(19990));
    EXPECT_EQ(op.input.tell(), 19990);
    uint8_t out[32];
    EXPECT_EQ(op.input.read(out, sizeof out), 10u);
    op.settings.archiveName = path("missing.bin");
    EXPECT_FALSE(op.input.open());
}
