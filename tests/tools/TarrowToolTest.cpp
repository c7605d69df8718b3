// tarrow l, t and x as a user runs them: the listing table, the comment, exit statuses, split
// parts, and hostile archives.
#include "HostileSkins.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const fs::path kBin = VELTRANE_BIN_DIR;
const fs::path kCorpus = fs::path(VELTRANE_SHARED_DIR) / "corpus" / "zip";

class TarrowTool : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kBin / "tarrow")) GTEST_SKIP() << "tarrow not built";
        std::string pattern = (fs::temp_directory_path() / "tarrow-tool-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        if (!root.empty()) fs::remove_all(root, ec);
    }

    // Runs tarrow with the arguments (quoted where needed) and no terminal input, after the shell
    // words in `before` (a change of folder, variables).
    int run(const std::string& arguments, const std::string& before = "") {
        const std::string command = before + "'" + (kBin / "tarrow").string() + "' " + arguments + " </dev/null >'" +
                                    (root / "out.txt").string() + "' 2>'" + (root / "err.txt").string() + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string read(const char* name) const {
        std::ifstream file(root / name);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    std::string corpus(const char* name) const {
        if (!fs::exists(kCorpus / name)) return {};
        return "'" + (kCorpus / name).string() + "'";
    }

    fs::path root;
};

}  // namespace

TEST_F(TarrowTool, ListsATable) {
    std::string archive = corpus("cc_COMPRESS-208.zip");
    if (archive.empty()) GTEST_SKIP() << "no corpus";
    // Its members' extended timestamps say 10:19:02 UTC, shown in local time (here an hour ahead,
    // as the DOS time written in that zone has it).
    EXPECT_EQ(run("l " + archive, "TZ=CET-1CEST,M3.5.0,M10.5.0/3 "), 0);
    EXPECT_EQ(read("out.txt"),
              "    Length        Size   Ratio  Date        Time      Method   CRC-32    Name\n"
              "----------  ----------  ------  ----------  --------  -------  --------  ----\n"
              "       610         318     48%  2007-11-14  11:19:02  Defl:N   0f54eacb  test1.xml\n"
              "        82          70     15%  2007-11-14  11:19:02  Defl:N   ce356c1c  test2.xml\n"
              "2 members\n");
    EXPECT_EQ(read("err.txt"), "");
}

TEST_F(TarrowTool, PatternsSelectAndCommentIsShown) {
    std::string archive = corpus("la_test_read_format_zip_sfx");
    if (archive.empty()) GTEST_SKIP() << "no corpus";
    EXPECT_EQ(run("l -x 'file*' " + archive), 0);
    std::string out = read("out.txt");
    EXPECT_NE(out.find("This is a sample file"), std::string::npos);
    EXPECT_NE(out.find("build.sh"), std::string::npos);
    EXPECT_EQ(out.find("file0"), std::string::npos);
    EXPECT_NE(out.find("1 member\n"), std::string::npos);
}

TEST_F(TarrowTool, ErrorsAndUsage) {
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

TEST_F(TarrowTool, DiskRequestWithoutAnAnswerCancels) {
    std::string archive = corpus("zjs_malformed-split-signature.zip");
    if (archive.empty()) GTEST_SKIP() << "no corpus";
    EXPECT_EQ(run("l " + archive), 1);
    EXPECT_NE(read("err.txt").find("aborted"), std::string::npos);
}

TEST_F(TarrowTool, ControlCharactersInNamesAreEscaped) {
    std::string archive = corpus("lz_test-cp437.zip");
    if (archive.empty()) GTEST_SKIP() << "no corpus";
    EXPECT_EQ(run("l " + archive), 0);
    std::string out = read("out.txt");
    EXPECT_NE(out.find("  \\x01\\x02\\x03"), std::string::npos);
    EXPECT_EQ(out.find('\x1B'), std::string::npos);
    EXPECT_NE(out.find("16 members\n"), std::string::npos);
}

// A spanned set saved as NAME.z01 ... NAME.zip extracts without questions: tarrow answers each disk
// request itself by showing the library the part it asks for.
TEST_F(TarrowTool, SplitPartsExtractThroughTheDiskRequests) {
    std::string archive = corpus("zjs_split/lorem-split.zip");
    if (archive.empty()) GTEST_SKIP() << "no corpus";
    EXPECT_EQ(run("x -d '" + root.string() + "' " + archive), 0) << read("err.txt");
    std::ifstream expected(kCorpus / "zjs_lorem.txt"), got(root / "lorem.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(got), {}),
              std::string(std::istreambuf_iterator<char>(expected), {}));
    for (const char* name : {"lorem-long.txt", "lorem-longer.txt", "lorem-longest.txt"})
        EXPECT_GT(fs::file_size(root / name), 1162u) << name;
    EXPECT_EQ(run("t " + archive), 0);
    EXPECT_EQ(read("out.txt").find("  OK  lorem-longest.txt"), read("out.txt").rfind("  OK  "));
}

// Interrupted at a question, tarrow removes the private folder its part link lives in, and ends as
// the signal ends it.
TEST_F(TarrowTool, SplitPartsLeaveNothingBehindWhenInterrupted) {
    if (corpus("zjs_split/lorem-split.zip").empty()) GTEST_SKIP() << "no corpus";
    const fs::path tmp = root / "tmp", target = root / "x";
    fs::create_directories(tmp);
    fs::create_directories(target);
    std::ofstream(target / "lorem.txt") << "old";
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    const pid_t child = fork();
    if (child == 0) {
        dup2(input[0], 0);
        close(input[1]);
        freopen((root / "err.txt").c_str(), "w", stderr);
        freopen("/dev/null", "w", stdout);
        setenv("TMPDIR", tmp.c_str(), 1);
        execl((kBin / "tarrow").c_str(), "tarrow", "x", "-d", target.c_str(),
              (kCorpus / "zjs_split" / "lorem-split.zip").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(input[0]);
    for (int i = 0; i < 1000 && read("err.txt").find("Replace") == std::string::npos; ++i) usleep(10000);
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp), fs::directory_iterator()), 1);
    kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    close(input[1]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_TRUE(fs::is_empty(tmp));
}

TEST_F(TarrowTool, SplitPartMissingInTheMiddleEndsTheRun) {
    if (corpus("zjs_split/lorem-split.zip").empty()) GTEST_SKIP() << "no corpus";
    fs::create_directory(root / "set");
    for (const char* part : {"lorem-split.z01", "lorem-split.z03", "lorem-split.z04", "lorem-split.z05",
                             "lorem-split.z06", "lorem-split.z07", "lorem-split.zip"})
        fs::copy_file(kCorpus / "zjs_split" / part, root / "set" / part);
    EXPECT_EQ(run("t '" + (root / "set" / "lorem-split.zip").string() + "'"), 1);
    EXPECT_NE(read("err.txt").find("asks for disk 2, which is not one of its parts"), std::string::npos)
        << read("err.txt");
    EXPECT_NE(read("err.txt").find("error: aborted"), std::string::npos);
}

// A generated three-disk set under both naming schemes, started from each of its parts; the last
// part missing, a last part that is really a first one, and a lone first part end the run at once
// with the disk named (each run has a time limit: a request answered with the same part looped).
TEST_F(TarrowTool, SplitSetsStartFromAnyPartAndNeverLoop) {
    ziptest::Archive set;
    set.members = {ziptest::stored("one.txt", std::string(300, 'a')),
                   ziptest::stored("two.txt", std::string(300, 'b'))};
    set.spanningMarker = true;
    set.diskBreaks = {200, 500};
    const std::vector<ziptest::Bytes> disks = ziptest::buildDisks(set);
    ASSERT_EQ(disks.size(), 3u);
    const std::string limited = "timeout 20 ";
    for (const auto& [part, last] : {std::pair{".z", ".zip"}, {".Z", ".ZIP"}, {".zx", ".zipx"}}) {
        SCOPED_TRACE(last);
        const fs::path folder = root / (std::string("set") + last);
        fs::create_directory(folder);
        for (int n = 1; n <= 2; ++n)
            ziptest::writeFile((folder / ("s" + std::string(part) + "0" + std::to_string(n))).string(), disks[n - 1]);
        ziptest::writeFile((folder / ("s" + std::string(last))).string(), disks[2]);
        for (const std::string& given : {std::string(part) + "01", std::string(part) + "02", std::string(last)}) {
            EXPECT_EQ(run("t '" + (folder / ("s" + given)).string() + "'", limited), 0) << given << read("err.txt");
            EXPECT_NE(read("out.txt").find("  OK  one.txt\n  OK  two.txt\n"), std::string::npos) << read("out.txt");
        }
        fs::remove(folder / ("s" + std::string(last)));
        EXPECT_EQ(run("l '" + (folder / ("s" + std::string(part) + "01")).string() + "'", limited), 1);
        EXPECT_NE(read("err.txt").find("whose last part s" + std::string(last) + " is missing"), std::string::npos)
            << read("err.txt");
    }
    // The first disk saved as the last part: the library asks for the last disk again.
    const fs::path wrong = root / "wrong";
    fs::create_directory(wrong);
    ziptest::writeFile((wrong / "w.z01").string(), disks[0]);
    ziptest::writeFile((wrong / "w.zip").string(), disks[0]);
    for (const char* mode : {"l", "t", "x"}) {
        EXPECT_EQ(run(std::string(mode) + " -d '" + (root / "out").string() + "' '" + (wrong / "w.zip").string() + "'",
                      limited),
                  1)
            << mode;
        EXPECT_NE(read("err.txt").find("asks again for the last disk (" + (wrong / "w.zip").string() + ")"),
                  std::string::npos)
            << read("err.txt");
    }
    // The first part alone, without the parts tarrow would link, and no terminal to ask.
    fs::remove(wrong / "w.zip");
    EXPECT_EQ(run("t '" + (wrong / "w.z01").string() + "'", limited), 1);
    EXPECT_NE(read("err.txt").find("last part w.zip is missing"), std::string::npos) << read("err.txt");
}

// A run killed outright cannot remove its part link: the next run with split parts sweeps the
// folders of runs that no longer run, and leaves those of running ones alone.
TEST_F(TarrowTool, SplitPartsFoldersOfKilledRunsAreSwept) {
    ziptest::Archive set;
    set.members = {ziptest::stored("one.txt", std::string(300, 'a'))};
    set.spanningMarker = true;
    set.diskBreaks = {200};
    const std::vector<ziptest::Bytes> disks = ziptest::buildDisks(set);
    ziptest::writeFile((root / "k.z01").string(), disks[0]);
    ziptest::writeFile((root / "k.zip").string(), disks[1]);
    const fs::path tmp = root / "tmp";
    fs::create_directory(tmp);
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const fs::path stale = tmp / ("tarrow-parts-" + std::to_string(gone) + "-AbCdEf");
    const fs::path live = tmp / ("tarrow-parts-" + std::to_string(getpid()) + "-AbCdEf");
    for (const fs::path& folder : {stale, live}) {
        fs::create_directory(folder);
        fs::create_symlink(root / "k.zip", folder / "k.zip");
    }
    EXPECT_EQ(run("t '" + (root / "k.zip").string() + "'", "TMPDIR='" + tmp.string() + "' timeout 20 "), 0)
        << read("err.txt");
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live / "k.zip"));
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp), fs::directory_iterator()), 1);
}

// A member whose local header names another method than the central directory: listed as the
// directory says, and in the listing, test and extraction alike damaged with the field named; its
// neighbour is fine.
TEST_F(TarrowTool, DisagreeingHeadersAreNamedInListingTestAndExtraction) {
    ziptest::Archive a;
    a.members = {ziptest::stored("a.txt", "hello"), ziptest::stored("b.txt", "world")};
    ziptest::Bytes bytes = ziptest::build(a);
    bytes[8] = 8;  // the local header says deflated
    ziptest::writeFile((root / "d.zip").string(), bytes);
    const std::string archive = "'" + (root / "d.zip").string() + "'";
    EXPECT_EQ(run("l " + archive), 1);
    EXPECT_NE(read("out.txt").find("Stored   3610a686  a.txt"), std::string::npos) << read("out.txt");
    const std::string damage =
        "a.txt: warning: local header missing, unreadable, or declaring more than the central "
        "directory (local header names method 8, the central directory 0)";
    EXPECT_NE(read("err.txt").find(damage), std::string::npos) << read("err.txt");
    for (const char* mode : {"t ", "x "}) {
        EXPECT_EQ(run(mode + std::string("-d '") + (root / "out").string() + "' " + archive), 1) << mode;
        EXPECT_NE(read("err.txt").find(damage), std::string::npos) << read("err.txt");
        EXPECT_EQ(read("out.txt").find("a.txt"), std::string::npos) << read("out.txt");
        EXPECT_NE(read("out.txt").find("b.txt"), std::string::npos) << read("out.txt");
    }
    EXPECT_FALSE(fs::exists(root / "out" / "a.txt"));
}

// An archive without members is listed and tested as such; selecting from it finds nothing.
TEST_F(TarrowTool, ArchiveWithoutMembersListsAndTests) {
    ziptest::writeFile((root / "empty.zip").string(), ziptest::build({}));
    const std::string archive = "'" + (root / "empty.zip").string() + "'";
    for (const char* mode : {"l ", "t "}) {
        EXPECT_EQ(run(mode + archive), 0) << mode << read("err.txt");
        EXPECT_EQ(read("out.txt"), "0 members\n");
        EXPECT_EQ(read("err.txt"), "");
    }
    EXPECT_EQ(run("t " + archive + " 'a*'"), 1);
    EXPECT_NE(read("err.txt").find("no member selected"), std::string::npos);
}

// l --json: a line per member that a JSON parser reads back (which also holds it to valid UTF-8),
// whatever bytes the names hold; the facts are the member's, damage included; patterns select.
TEST_F(TarrowTool, JsonListingParsesBack) {
    ziptest::Archive a;
    ziptest::Member odd = ziptest::stored("q\"\\\x01\xFF\xC3.txt", "odd");  // quote, backslash, control, not UTF-8
    odd.hostSystem = 3;                                                     // Unix: the name keeps its bytes
    ziptest::Member locked = ziptest::stored("locked.bin", "secret");
    locked.flags = 1;
    a.members = {ziptest::stored("a.txt", "hello"),
                 ziptest::deflated("dir/b.txt", std::string(500, 'b')),
                 odd,
                 ziptest::stored("dir/", ""),
                 locked,
                 ziptest::stored("c.txt", "see")};
    ziptest::Bytes bytes = ziptest::build(a);
    bytes[8] = 8;  // a.txt's local header says deflated: damaged
    ziptest::writeFile((root / "j.zip").string(), bytes);
    const std::string archive = "'" + (root / "j.zip").string() + "'";

    // a.txt is damaged: listed, and the listing fails as the table's does.
    ASSERT_EQ(run("l --json " + archive, "TZ=UTC "), 1) << read("err.txt");
    std::vector<nlohmann::json> lines;
    std::istringstream out(read("out.txt"));
    for (std::string line; std::getline(out, line);) lines.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0]["name"], "a.txt");
    EXPECT_EQ(lines[0]["damaged"], true);
    EXPECT_NE(lines[0]["damage"].get<std::string>().find("method 8"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0]["crc32"], "3610a686");
    EXPECT_EQ(lines[1]["name"], "dir/b.txt");
    EXPECT_EQ(lines[1]["size"], 500);
    EXPECT_LT(lines[1]["compressed_size"].get<int>(), 500);
    EXPECT_EQ(lines[1]["method"], 8);
    EXPECT_EQ(lines[1]["method_name"], "Deflate");
    EXPECT_EQ(lines[1]["damaged"], false);
    EXPECT_TRUE(lines[1]["damage"].is_null());
    EXPECT_EQ(lines[1]["recovered"], false);
    EXPECT_EQ(lines[1]["time"], "1980-01-01T00:00:00+00:00");
    EXPECT_EQ(lines[1]["mtime"], 315532800);
    EXPECT_EQ(lines[2]["name"], "q\"\\\x01\xEF\xBF\xBD\xEF\xBF\xBD.txt");
    EXPECT_EQ(lines[2]["name_bytes"], "71225c01ffc32e747874");
    EXPECT_FALSE(lines[1].contains("name_bytes"));
    EXPECT_EQ(lines[3]["folder"], true);
    EXPECT_EQ(lines[4]["encrypted"], true);
    EXPECT_EQ(lines[4]["attributes"], 0x20);

    EXPECT_EQ(run("l --json -x 'dir/*' -x 'q*' " + archive + " '*.txt'"), 1) << read("err.txt");
    std::istringstream selected(read("out.txt"));
    std::vector<std::string> names;
    for (std::string line; std::getline(selected, line);) names.push_back(nlohmann::json::parse(line)["name"]);
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "c.txt"}));

    EXPECT_EQ(run("l --json '" + (root / "absent.zip").string() + "'"), 1);
    EXPECT_EQ(read("out.txt"), "");
    EXPECT_NE(read("err.txt").find("cannot be opened"), std::string::npos) << read("err.txt");
    EXPECT_EQ(run("t --json " + archive), 2);
}

// -O reads names in a code page: the table, the comment, the JSON listing, patterns given on the
// command line, testing and extraction all follow it; an unknown code page is a usage error.
TEST_F(TarrowTool, CodePageOfNamesIsFollowedEverywhere) {
    const std::string privet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", mir = "\xD0\x9C\xD0\xB8\xD1\x80";
    ziptest::Archive ru;  // Привет/Мир.txt in CP1251
    ru.members = {ziptest::stored("\xCF\xF0\xE8\xE2\xE5\xF2/\xCC\xE8\xF0.txt", "mir")};
    ru.comment = "\xCF\xF0\xE8\xE2\xE5\xF2";
    ziptest::writeFile((root / "ru.zip").string(), ziptest::build(ru));
    // 表示/ソフト.txt in CP932: 表 and ソ end in the byte 0x5C.
    const std::string hyoji = "\xE8\xA1\xA8\xE7\xA4\xBA", sofuto = "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88";
    ziptest::Archive ja;
    ja.members = {ziptest::stored("\x95\x5C\x8E\xA6/\x83\x5C\x83\x74\x83\x67.txt", "soft"),
                  ziptest::stored("a.txt", "a")};
    ziptest::writeFile((root / "ja.zip").string(), ziptest::build(ja));
    const std::string ruZip = "'" + (root / "ru.zip").string() + "'", jaZip = "'" + (root / "ja.zip").string() + "'";

    EXPECT_EQ(run("l -O CP1251 " + ruZip), 0) << read("err.txt");
    std::string out = read("out.txt");
    EXPECT_NE(out.find(":\n" + privet + "\n"), std::string::npos) << out;  // the comment
    EXPECT_NE(out.find("  " + privet + "/" + mir + ".txt\n"), std::string::npos) << out;

    EXPECT_EQ(run("l --json -O CP932 " + jaZip + " '" + hyoji + "/*'"), 0) << read("err.txt");
    std::istringstream lines(read("out.txt"));
    std::vector<std::string> names;
    for (std::string line; std::getline(lines, line);) names.push_back(nlohmann::json::parse(line)["name"]);
    EXPECT_EQ(names, std::vector<std::string>{hyoji + "/" + sofuto + ".txt"});

    EXPECT_EQ(run("t -O SHIFT_JIS " + jaZip + " '*" + sofuto + "*'"), 0) << read("err.txt");
    EXPECT_EQ(read("out.txt"), "  OK  " + hyoji + "/" + sofuto + ".txt\n");

    EXPECT_EQ(run("x -O CP932 -d '" + (root / "out").string() + "' " + jaZip), 0) << read("err.txt");
    std::ifstream written(root / "out" / hyoji / (sofuto + ".txt"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), "soft");
    // Without it, code page 437 reads 表's trail byte as a backslash, which makes a folder.
    EXPECT_EQ(run("x -d '" + (root / "cp437").string() + "' " + jaZip), 0) << read("err.txt");
    EXPECT_FALSE(fs::exists(root / "cp437" / hyoji));
    EXPECT_TRUE(fs::is_directory(root / "cp437" / "\xC3\xB2"));  // ò, 0x95 in code page 437

    EXPECT_EQ(run("l -O NO-SUCH-CODE-PAGE " + jaZip), 2);
    EXPECT_EQ(read("out.txt"), "");
    EXPECT_EQ(read("err.txt").rfind("tarrow: unknown code page NO-SUCH-CODE-PAGE", 0), 0u) << read("err.txt");
    EXPECT_EQ(run("l --json -O NO-SUCH-CODE-PAGE " + jaZip), 2);
    EXPECT_EQ(run("l -O"), 2);
}

// --recover: a cut archive lists, tests and extracts what lies before the cut, each member marked;
// a recovered archive whose members are whole succeeds, the member the cut ends in fails the run,
// and without the option the archive is refused as before.
TEST_F(TarrowTool, RecoverReadsWhatLiesBeforeTheCut) {
    ziptest::Archive a;
    ziptest::Member streamed = ziptest::deflated("dir/b.txt", std::string(3000, 'b') + "end");
    streamed.descriptor = true;
    a.members = {ziptest::stored("a.txt", "hello"), streamed, ziptest::stored("c.txt", std::string(400, 'c'))};
    const ziptest::Bytes bytes = ziptest::build(a);
    const std::string central("PK\x01\x02", 4);
    const size_t directory =
        size_t(std::search(bytes.begin(), bytes.end(), central.begin(), central.end()) - bytes.begin());
    ziptest::writeFile((root / "whole-members.zip").string(),
                       ziptest::Bytes(bytes.begin(), bytes.begin() + ptrdiff_t(directory) + 7));
    ziptest::writeFile((root / "cut-member.zip").string(),
                       ziptest::Bytes(bytes.begin(), bytes.begin() + ptrdiff_t(directory) - 100));
    const std::string whole = "'" + (root / "whole-members.zip").string() + "'";
    const std::string cut = "'" + (root / "cut-member.zip").string() + "'";

    EXPECT_EQ(run("l " + whole), 1);
    EXPECT_NE(read("err.txt").find("no end"), std::string::npos) << read("err.txt");

    ASSERT_EQ(run("l --recover " + whole), 0) << read("err.txt");
    const std::string table = read("out.txt");
    EXPECT_NE(table.find("  a.txt (recovered)\n"), std::string::npos) << table;
    EXPECT_NE(table.find("  dir/b.txt (recovered)\n"), std::string::npos) << table;
    EXPECT_NE(table.find("3 members\n"), std::string::npos) << table;
    EXPECT_NE(read("err.txt").find("walking the local headers"), std::string::npos) << read("err.txt");
    // Options may come before the command too; --json stays a listing's option wherever it stands.
    EXPECT_EQ(run("--recover t " + whole), 0) << read("err.txt");
    EXPECT_NE(read("out.txt").find("  OK  c.txt (recovered)\n"), std::string::npos) << read("out.txt");
    EXPECT_EQ(run("--json t " + whole), 2);
    EXPECT_EQ(run("x --recover -d '" + (root / "out").string() + "' " + whole), 0) << read("err.txt");
    std::ifstream extracted(root / "out" / "dir" / "b.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(extracted), {}), std::string(3000, 'b') + "end");

    ASSERT_EQ(run("l --recover --json " + cut), 1) << read("err.txt");
    std::vector<nlohmann::json> lines;
    std::istringstream out(read("out.txt"));
    for (std::string line; std::getline(out, line);) lines.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["recovered"], true);
    EXPECT_EQ(lines[0]["damaged"], false);
    EXPECT_EQ(lines[2]["name"], "c.txt");
    EXPECT_EQ(lines[2]["damaged"], true);
    EXPECT_EQ(run("t --recover " + cut), 1);
    EXPECT_NE(read("out.txt").find("  OK  dir/b.txt (recovered)\n"), std::string::npos) << read("out.txt");
    EXPECT_NE(read("err.txt").find("c.txt: error"), std::string::npos) << read("err.txt");
}

// A byte-split set (NAME.001, NAME.002, ...) given by its first piece lists, tests and extracts as
// the archive it makes, with pieces of any size; a missing piece is named.
// What users see of the time fields and of Unix modes: the listing and the JSON listing show the
// extended timestamp's moment in local time, and extraction sets it; modes come through the umask.
TEST_F(TarrowTool, TimesAndModesAsListedAndExtracted) {
    auto unixMember = [](const std::string& name, uint32_t mode) {
        ziptest::Member m = ziptest::stored(name, "data");
        m.hostSystem = 3;
        m.external = mode << 16 | ((mode & 0170000) == 0040000 ? 0x10 : 0);
        return m;
    };
    ziptest::Member stamped = unixMember("stamped.txt", 0100644);
    stamped.dosDate = uint16_t((21 << 9) | (5 << 5) | 1);  // 2001-05-01 12:00:00
    stamped.dosTime = uint16_t(12 << 11);
    stamped.extra = ziptest::extraBlock(0x5455, std::string("\x01\xF1\xF3\x53\x65", 5));  // 1700000753
    ziptest::Member plain = ziptest::stored("plain.txt", "data");
    plain.dosDate = stamped.dosDate;
    plain.dosTime = stamped.dosTime;
    ziptest::Archive a;
    a.members = {stamped,
                 plain,
                 unixMember("run.sh", 0100755),
                 unixMember("suid", 0104755),
                 unixMember("ro/", 040555),
                 unixMember("ro/f", 0100600)};
    ziptest::writeFile((root / "m.zip").string(), ziptest::build(a));
    const std::string archive = "'" + (root / "m.zip").string() + "'";

    ASSERT_EQ(run("l " + archive, "TZ=UTC "), 0) << read("err.txt");
    EXPECT_NE(read("out.txt").find("2023-11-14  22:25:53  Stored   adf3f363  stamped.txt"), std::string::npos)
        << read("out.txt");
    EXPECT_NE(read("out.txt").find("2001-05-01  12:00:00  Stored   adf3f363  plain.txt"), std::string::npos);
    ASSERT_EQ(run("l " + archive, "TZ=CET-1CEST,M3.5.0,M10.5.0/3 "), 0);
    EXPECT_NE(read("out.txt").find("2023-11-14  23:25:53  Stored   adf3f363  stamped.txt"), std::string::npos)
        << read("out.txt");
    EXPECT_NE(read("out.txt").find("2001-05-01  12:00:00  Stored   adf3f363  plain.txt"), std::string::npos);
    ASSERT_EQ(run("l --json " + archive, "TZ=CET-1CEST,M3.5.0,M10.5.0/3 "), 0);
    const nlohmann::json first = nlohmann::json::parse(read("out.txt").substr(0, read("out.txt").find('\n')));
    EXPECT_EQ(first["mtime"], 1700000753);
    EXPECT_EQ(first["time"], "2023-11-14T23:25:53+01:00");

    const fs::path out = root / "out";
    ASSERT_EQ(run("x -d '" + out.string() + "' " + archive, "umask 027; "), 0) << read("err.txt");
    auto stat = [](const fs::path& p) {
        struct stat st {};
        EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
        return st;
    };
    EXPECT_EQ(stat(out / "stamped.txt").st_mtime, 1700000753);
    EXPECT_EQ(stat(out / "stamped.txt").st_mode & 07777, 0640u);
    EXPECT_EQ(stat(out / "plain.txt").st_mode & 07777, 0640u);  // no mode stored: as created
    EXPECT_EQ(stat(out / "run.sh").st_mode & 07777, 0750u);
    EXPECT_EQ(stat(out / "suid").st_mode & 07777, 0750u);
    EXPECT_EQ(stat(out / "ro").st_mode & 07777, 0550u);
    EXPECT_EQ(stat(out / "ro/f").st_mode & 07777, 0600u);
    fs::permissions(out / "ro", fs::perms::owner_all);
}

TEST_F(TarrowTool, ByteSplitSetsReadAsOneArchive) {
    ziptest::Archive a;
    a.members = {ziptest::stored("one.txt", std::string(300, 'a')), ziptest::deflated("two.txt", "two")};
    const ziptest::Bytes whole = ziptest::build(a);
    auto piece = [](const std::string& base, size_t n) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%03zu", n);
        return base + suffix;
    };
    auto cut = [&](const std::string& base, size_t size) {
        size_t n = 0;
        for (size_t at = 0; at < whole.size(); at += size) {
            ziptest::writeFile(
                (root / piece(base, ++n)).string(),
                ziptest::Bytes(whole.begin() + long(at), whole.begin() + long(std::min(at + size, whole.size()))));
        }
        return n;
    };
    for (size_t size : {size_t(1), size_t(100)}) {
        SCOPED_TRACE(size);
        const std::string base = "s" + std::to_string(size) + ".zip";
        cut(base, size);
        const std::string first = "'" + (root / (base + ".001")).string() + "'";
        EXPECT_EQ(run("t " + first), 0) << read("err.txt");
        EXPECT_NE(read("out.txt").find("  OK  one.txt\n  OK  two.txt\n"), std::string::npos) << read("out.txt");
        EXPECT_EQ(run("l --json " + first), 0) << read("err.txt");
        EXPECT_NE(read("out.txt").find("\"name\":\"two.txt\""), std::string::npos) << read("out.txt");
        const fs::path out = root / ("out" + std::to_string(size));
        EXPECT_EQ(run("x -d '" + out.string() + "' " + first), 0) << read("err.txt");
        EXPECT_EQ(fs::file_size(out / "one.txt"), 300u);
    }
    const size_t pieces = cut("h.zip", 100);
    ASSERT_GE(pieces, 4u);
    fs::remove(root / "h.zip.002");
    for (const char* mode : {"l ", "t ", "l --json "}) {
        EXPECT_EQ(run(mode + std::string("'") + (root / "h.zip.001").string() + "'"), 1) << mode;
        EXPECT_NE(read("err.txt").find("h.zip.002 is missing"), std::string::npos) << read("err.txt");
    }
    cut("h.zip", 100);  // the hole filled again; now the last piece goes
    fs::remove(root / piece("h.zip", pieces));
    for (const char* mode : {"l ", "l --json "}) {
        EXPECT_EQ(run(mode + std::string("'") + (root / "h.zip.001").string() + "'"), 1) << mode;
        EXPECT_NE(read("err.txt").find(piece("h.zip", pieces) + " missing?"), std::string::npos) << read("err.txt");
    }
}

namespace {

// Files no larger than `limit` may be written while it lives, and a write beyond fails (EFBIG)
// instead of killing the writer; programs started meanwhile inherit both.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit reduced{limit, m_saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &reduced);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

struct Outcome {
    int list = 0, test = 0, extract = 0;  // exit statuses
    std::string reason;                   // what t and x say about it (and l, when it fails)
    std::string extractReason = reason;   // what x says, when that differs
};

uint64_t bytesBelow(const fs::path& folder) {
    uint64_t total = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file()) total += it->file_size();
    return total;
}

}  // namespace

// The hostile skin set and a few hand-made archives (names that hold bars and escape sequences or
// climb out of the folder, a directory claiming 65,535 entries, an archive that is its own part)
// through l, t and x: each ends with its exit status and its reason, writes only into the target
// folder (files of up to 8 MiB: a bomb's member fails to be written and is removed), and leaves
// nothing in the current or temporary folder.
TEST_F(TarrowTool, HostileArchivesEndWithTheirReason) {
    constexpr uint64_t kFileLimit = 8 << 20;
    const fs::path in = root / "in", cwd = root / "cwd", tmp = root / "tmp";
    for (const fs::path& folder : {in, cwd, tmp}) fs::create_directory(folder);
    std::map<std::string, Outcome> expected = {
        {"Bomb.wsz", {0, 0, 1, "zeros.bin: error: output file could not be written completely"}},
        {"Shared.wsz",
         {1, 1, 1, "zeros199.bin: error: archive damaged", "zeros000.bin: error: output file could not be written"}},
        {"HugeBitmaps.wsz", {0, 0, 0, ""}},
        {"LyingDescriptor.wsz", {0, 1, 1, "zeros.bin: warning: deflated data is corrupt"}},
        {"LyingLocalHeader.wsz", {1, 1, 1, "zeros.bin: warning: local header missing, unreadable, or declaring more"}},
        {"ManyMembers.wsz", {0, 0, 0, ""}},
        {"TinyMembers.wsz", {0, 0, 0, ""}},
        {"DeepFolders.wsz", {0, 0, 0, ""}},
        {"NestedArchive.wsz", {0, 0, 0, ""}},
        {"Names.zip", {0, 1, 1, "b.txt: warning: CRC-32 mismatch"}},
        {"Climbing.zip", {0, 0, 0, ""}},
        {"ClaimsManyEntries.zip", {1, 1, 1, "error: central directory header expected and not found"}},
        {"Self.zip", {0, 1, 1, "one.txt: warning: local header missing"}},
    };
    for (const auto& skin : veltrane::hostile::MakeHostileSkins())
        ziptest::writeFile((in / skin.file).string(), skin.bytes);
    ASSERT_EQ(expected.size(), size_t(std::distance(fs::directory_iterator(in), fs::directory_iterator())) + 4)
        << "the hostile set changed";

    ziptest::Archive names;
    names.members = {ziptest::stored("dir|x/a|b.txt", "x"), ziptest::stored("\x1B[31mred\x1B[0m.txt", "y")};
    for (ziptest::Member& m : names.members) m.crc = 0x12345678;
    ziptest::writeFile((in / "Names.zip").string(), ziptest::build(names));
    ziptest::Archive climbing;
    for (const std::string& name : std::vector<std::string>{"../../out1.txt", (root / "out2.txt").string(),
                                                            "..\\..\\out3.txt", "a/../../out4.txt"})
        climbing.members.push_back(ziptest::stored(name, "x"));
    ziptest::writeFile((in / "Climbing.zip").string(), ziptest::build(climbing));
    ziptest::Archive many;
    many.members = {ziptest::stored("a.txt", "hello")};
    many.totalEntries = 65535;
    ziptest::writeFile((in / "ClaimsManyEntries.zip").string(), ziptest::build(many));
    // The last disk of a two-disk set, whose first part is itself.
    ziptest::Archive split;
    split.members = {ziptest::stored("one.txt", "first part")};
    split.spanningMarker = true;
    split.diskBreaks = {4 + 30 + 7 + 10};
    std::vector<ziptest::Bytes> disks = ziptest::buildDisks(split);
    ASSERT_EQ(disks.size(), 2u);
    ziptest::writeFile((in / "Self.zip").string(), disks[1]);
    fs::create_symlink("Self.zip", in / "Self.z01");

    FileSizeLimit limit(kFileLimit);
    const std::string before = "cd '" + cwd.string() + "' && TMPDIR='" + tmp.string() + "' ";
    for (const auto& [file, outcome] : expected) {
        SCOPED_TRACE(file);
        const std::string archive = "'" + (in / file).string() + "'";
        const fs::path target = root / ("x-" + file);
        for (const char mode : {'l', 't', 'x'}) {
            SCOPED_TRACE(std::string(1, mode));
            const int status = run(std::string(1, mode) + " -d '" + target.string() + "' " + archive, before);
            const int wanted = mode == 'l' ? outcome.list : mode == 't' ? outcome.test : outcome.extract;
            EXPECT_EQ(status, wanted) << read("err.txt");
            const std::string errors = read("err.txt");
            if (wanted == 0) {
                EXPECT_EQ(errors, "");
            } else {
                const std::string& reason = mode == 'x' ? outcome.extractReason : outcome.reason;
                EXPECT_NE(errors.find(reason), std::string::npos) << errors;
            }
            for (const std::string& said : {errors, read("out.txt")}) EXPECT_EQ(said.find('\x1B'), std::string::npos);
            EXPECT_TRUE(fs::is_empty(cwd));
            EXPECT_TRUE(fs::is_empty(tmp));
            if (mode != 'x') {
                EXPECT_FALSE(fs::exists(target));
            }
        }
        EXPECT_LE(bytesBelow(target), 2 * kFileLimit);
    }
    // A member whose CRC does not match is not also reported as good.
    EXPECT_EQ(run("t '" + (in / "Names.zip").string() + "'"), 1);
    EXPECT_EQ(read("out.txt").find("  OK  "), std::string::npos) << read("out.txt");
    // Bars in a name leave the listing's columns in place; where the folder ends is not told by the
    // library's message, and is taken to be at the first bar.
    EXPECT_EQ(run("l '" + (in / "Names.zip").string() + "'"), 0);
    EXPECT_NE(read("out.txt").find(
                  "         1           1      0%  1980-01-01  00:00:00  Stored   12345678  dir/x|a|b.txt\n"),
              std::string::npos)
        << read("out.txt");
    // What did arrive, did so inside its target folder.
    EXPECT_EQ(fs::file_size(root / "x-Bomb.wsz" / "pledit.txt"), 74u);
    EXPECT_FALSE(fs::exists(root / "x-Bomb.wsz" / "zeros.bin"));
    EXPECT_FALSE(fs::exists(root / "x-Shared.wsz" / "zeros000.bin"));
    EXPECT_EQ(fs::file_size(root / "x-LyingDescriptor.wsz" / "zeros.bin"), 4096u);  // cut at what it declares
    for (const char* name : {"out1.txt", "out3.txt", "out4.txt", "a/out4.txt"})
        EXPECT_EQ(fs::exists(root / "x-Climbing.zip" / name), std::string(name) != "out4.txt") << name;
    EXPECT_TRUE(fs::exists(root / "x-Climbing.zip" / fs::path(root.string().substr(1)) / "out2.txt"));
    std::set<std::string> top;
    for (const auto& e : fs::directory_iterator(root))
        if (e.path().filename().string().rfind("x-", 0) != 0) top.insert(e.path().filename().string());
    EXPECT_EQ(top, (std::set<std::string>{"in", "cwd", "tmp", "out.txt", "err.txt"}));
}
