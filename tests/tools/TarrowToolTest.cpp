// tarrow l as a user runs it: the listing table, the comment, and exit statuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

const fs::path kBin = VELTRANE_BIN_DIR;
const fs::path kCorpus = fs::path(VELTRANE_SHARED_DIR) / "corpus" / "zip";

class TarrowTool : public testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(kBin / "tarrow"))
            GTEST_SKIP() << "tarrow not built";
        std::string pattern = (fs::temp_directory_path() / "tarrow-tool-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        if (!root.empty())
            fs::remove_all(root, ec);
    }

    // Runs tarrow with the arguments (quoted where needed) and no terminal input.
    int run(const std::string &arguments)
    {
        const std::string command = "'" + (kBin / "tarrow").string() + "' " + arguments + " </dev/null >'" +
                                    (root / "out.txt").string() + "' 2>'" + (root / "err.txt").string() + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string read(const char *name) const
    {
        std::ifstream file(root / name);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    std::string corpus(const char *name) const
    {
        if (!fs::exists(kCorpus / name))
            return {};
        return "'" + (kCorpus / name).string() + "'";
    }

    fs::path root;
};

} // namespace

TEST_F(TarrowTool, ListsATable)
{
    std::string archive = corpus("cc_COMPRESS-208.zip");
    if (archive.empty())
        GTEST_SKIP() << "no corpus";
    EXPECT_EQ(run("l " + archive), 0);
    EXPECT_EQ(read("out.txt"),
              "    Length        Size   Ratio  Date        Time      Method   CRC-32    Name\n"
              "----------  ----------  ------  ----------  --------  -------  --------  ----\n"
              "       610         318     48%  2007-11-14  11:19:02  Defl:N   0f54eacb  test1.xml\n"
              "        82          70     15%  2007-11-14  11:19:02  Defl:N   ce356c1c  test2.xml\n"
              "2 members\n");
    EXPECT_EQ(read("err.txt"), "");
}

TEST_F(TarrowTool, PatternsSelectAndCommentIsShown)
{
    std::string archive = corpus("la_test_read_format_zip_sfx");
    if (archive.empty())
        GTEST_SKIP() << "no corpus";
    EXPECT_EQ(run("l -x 'file*' " + archive), 0);
    std::string out = read("out.txt");
    EXPECT_NE(out.find("This is a sample file"), std::string::npos);
    EXPECT_NE(out.find("build.sh"), std::string::npos);
    EXPECT_EQ(out.find("file0"), std::string::npos);
    EXPECT_NE(out.find("1 member\n"), std::string::npos);
}

TEST_F(TarrowTool, ErrorsAndUsage)
{
    EXPECT_EQ(run("l '" + (root / "absent.zip").string() + "'"), 1);
    EXPECT_NE(read("err.txt").find("archive not found"), std::string::npos);
    EXPECT_EQ(run("q x.zip"), 2);
    EXPECT_EQ(run("l -d"), 2);
    EXPECT_EQ(run("l"), 2);
}

TEST_F(TarrowTool, DiskRequestWithoutAnAnswerCancels)
{
    std::string archive = corpus("zjs_malformed-split-signature.zip");
    if (archive.empty())
        GTEST_SKIP() << "no corpus";
    EXPECT_EQ(run("l " + archive), 1);
    EXPECT_NE(read("err.txt").find("aborted"), std::string::npos);
}

TEST_F(TarrowTool, ControlCharactersInNamesAreEscaped)
{
    std::string archive = corpus("lz_test-cp437.zip");
    if (archive.empty())
        GTEST_SKIP() << "no corpus";
    EXPECT_EQ(run("l " + archive), 0);
    std::string out = read("out.txt");
    EXPECT_NE(out.find("  \\x01\\x02\\x03"), std::string::npos);
    EXPECT_EQ(out.find('\x1B'), std::string::npos);
    EXPECT_NE(out.find("16 members\n"), std::string::npos);
}
