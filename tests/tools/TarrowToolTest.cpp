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
    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(read("out.txt").rfind("usage: tarrow l|t|x", 0), 0u);
    EXPECT_EQ(run("--version"), 0);
    EXPECT_EQ(read("out.txt").rfind("tarrow ", 0), 0u);
    EXPECT_NE(read("out.txt").find("libPackage "), std::string::npos);
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

// A spanned set saved as NAME.z01 ... NAME.zip extracts without questions: tarrow answers each disk
// request itself by showing the library the part it asks for.
TEST_F(TarrowTool, SplitPartsExtractThroughTheDiskRequests)
{
    std::string archive = corpus("zjs_split/lorem-split.zip");
    if (archive.empty())
        GTEST_SKIP() << "no corpus";
    EXPECT_EQ(run("x -d '" + root.string() + "' " + archive), 0) << read("err.txt");
    std::ifstream expected(kCorpus / "zjs_lorem.txt"), got(root / "lorem.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(got), {}),
              std::string(std::istreambuf_iterator<char>(expected), {}));
    for (const char *name : {"lorem-long.txt", "lorem-longer.txt", "lorem-longest.txt"})
        EXPECT_GT(fs::file_size(root / name), 1162u) << name;
    EXPECT_EQ(run("t " + archive), 0);
    EXPECT_EQ(read("out.txt").find("  OK  lorem-longest.txt"), read("out.txt").rfind("  OK  "));
}

TEST_F(TarrowTool, SplitPartMissingInTheMiddleEndsTheRun)
{
    if (corpus("zjs_split/lorem-split.zip").empty())
        GTEST_SKIP() << "no corpus";
    fs::create_directory(root / "set");
    for (const char *part : {"lorem-split.z01", "lorem-split.z03", "lorem-split.z04", "lorem-split.z05",
                             "lorem-split.z06", "lorem-split.z07", "lorem-split.zip"})
        fs::copy_file(kCorpus / "zjs_split" / part, root / "set" / part);
    EXPECT_EQ(run("t '" + (root / "set" / "lorem-split.zip").string() + "'"), 1);
    EXPECT_NE(read("err.txt").find("error"), std::string::npos);
}
