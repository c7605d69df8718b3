// The pieces of veltrane-preview in the test's own process: worker processes, thumbnails, and a
// long run over the real skins that must leave no files, folders or descriptors behind.
#include "PreviewOutput.h"
#include "SkinRender.h"
#include "SkinSources.h"
#include "Thumbnail.h"
#include "WorkerProcesses.h"
#include "WorkingFolder.h"

#include "archive/UnZIP.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace veltrane;
using namespace veltrane::preview;

namespace {

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

std::string ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "veltrane-pieces-XXXXXX").string();
    return mkdtemp(pattern.data()) ? pattern + "/" : std::string();
}

}  // namespace

TEST(WorkerProcesses, EveryJobIsReportedOnceAndACrashLosesOnlyItsOwnJob) {
    const std::size_t before = OpenDescriptors();
    std::map<std::size_t, JobResult> results;
    RunInWorkerProcesses(
        40, 3,
        [](std::size_t i) {
            if (i == 17) raise(SIGKILL);
            return JobResult{uint8_t(i % 3), "job " + std::to_string(i) + std::string(i * 100, '.'), false,
                             std::string(i * 2000, char('a' + i % 26))};
        },
        [&](std::size_t i, const JobResult& r) { EXPECT_TRUE(results.emplace(i, r).second) << i; });
    ASSERT_EQ(results.size(), 40u);
    for (const auto& [i, r] : results) {
        if (i == 17) {
            EXPECT_TRUE(r.lost);
            EXPECT_NE(r.message.find("signal"), std::string::npos) << r.message;
        } else {
            EXPECT_FALSE(r.lost) << i;
            EXPECT_EQ(r.status, i % 3);
            EXPECT_EQ(r.message, "job " + std::to_string(i) + std::string(i * 100, '.'));
            EXPECT_EQ(r.data, std::string(i * 2000, char('a' + i % 26)));
        }
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(Thumbnail, ThePreviewShrinksToFitByAveragingAndIsNeverEnlarged) {
    // Black and white columns in turn: averaging gives grey, picking pixels would not.
    Dib preview(275, 350, 24);
    for (int32_t y = 0; y < 350; ++y)
        for (int32_t x = 0; x < 275; ++x) preview.SetPixel(x, y, x % 2 ? RgbQuad{255, 255, 255, 0} : RgbQuad{});
    const Dib small = ScaleToFit(preview, 128);
    EXPECT_EQ(small.Width(), 101);
    EXPECT_EQ(small.Height(), 128);
    const int grey = small.GetPixel(50, 60) & 0xFF;
    EXPECT_GT(grey, 64);
    EXPECT_LT(grey, 192);
    EXPECT_EQ(ScaleToFit(preview, 350).Width(), 275);
    EXPECT_EQ(ScaleToFit(preview, 1000).Height(), 350);
    EXPECT_EQ(ScaleToFit(Dib(1000, 1, 24), 10).Height(), 1);
}

TEST(WritePreviewFile, ReplacesOnlyOnRequestAndLeavesNoTemporaryFile) {
    const std::string folder = ScratchFolder();
    ASSERT_FALSE(folder.empty());
    const std::string path = folder + "a.jpg";
    std::string error;
    std::ofstream(path) << "mine";
    EXPECT_EQ(WritePreviewFile(path, {'n', 'e', 'w'}, false, error), WriteResult::Exists);
    EXPECT_EQ(WritePreviewFile(path, {'n', 'e', 'w'}, true, error), WriteResult::Written) << error;
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");
    fs::create_directory(folder + "b.jpg");
    EXPECT_EQ(WritePreviewFile(folder + "b.jpg", {'x'}, true, error), WriteResult::Failed);
    EXPECT_EQ(WritePreviewFile(folder + "missing/c.jpg", {'x'}, false, error), WriteResult::Failed);
    EXPECT_NE(error.find("missing/c.jpg"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
    fs::remove_all(folder);
}

TEST(WriteIntoFile, TheHostsOpenDescriptorSeesTheBytes) {
    // A thumbnail host creates the output file, keeps it open and reads the picture through it.
    const std::string folder = ScratchFolder();
    ASSERT_FALSE(folder.empty());
    const std::string path = folder + "thumb.png";
    const int held = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(write(held, "old-and-longer", 14), 14);
    std::string error;
    EXPECT_EQ(WriteIntoFile(path, {'p', 'n', 'g'}, error), WriteResult::Written) << error;
    char back[16] = {};
    EXPECT_EQ(pread(held, back, sizeof back, 0), 3);
    EXPECT_EQ(std::string(back), "png");
    close(held);
    EXPECT_EQ(WriteIntoFile(folder + "missing/t.png", {'x'}, error), WriteResult::Failed);
    fs::remove_all(folder);
}

TEST(WorkingFolderBase, TmpdirWinsThenTheFirstWritableMemoryFolderThenTmp) {
    const std::string folder = ScratchFolder();
    ASSERT_FALSE(folder.empty());
    const std::string runtime = folder + "runtime", shared = folder + "shm";
    fs::create_directory(runtime);
    fs::create_directory(shared);
    EXPECT_EQ(ChooseWorkingFolderBase(folder.c_str(), runtime.c_str(), shared), folder);
    EXPECT_EQ(ChooseWorkingFolderBase((folder + "missing").c_str(), runtime.c_str(), shared), runtime + "/");
    EXPECT_EQ(ChooseWorkingFolderBase(nullptr, nullptr, shared), shared + "/");
    EXPECT_EQ(ChooseWorkingFolderBase("", (folder + "missing").c_str(), folder + "gone"), "/tmp/");
    if (geteuid() != 0) {  // root writes anywhere
        fs::permissions(runtime, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(ChooseWorkingFolderBase(nullptr, runtime.c_str(), shared), shared + "/");
        fs::permissions(runtime, fs::perms::owner_all);
    }
    fs::remove_all(folder);
}

// Rendering the corpus many times in one process: nothing may pile up per skin.
TEST(RenderSkinSource, ManyRunsLeaveNothingBehind) {
    const std::string corpus = std::string(VELTRANE_SHARED_DIR) + "/corpus/skins";
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus";
    if (!fs::exists(fs::path(VELTRANE_BIN_DIR) / "libPackage.so")) GTEST_SKIP() << "libPackage.so not built";
    SetPackageLibraryFolder(std::string(VELTRANE_BIN_DIR) + "/");
    SkinSourceList sources;
    std::string error;
    ASSERT_TRUE(ExpandSkinArgument(corpus, sources, error)) << error;
    ASSERT_GE(sources.size(), 13u);
    const std::string temp = ScratchFolder();
    ASSERT_FALSE(temp.empty());

    // The first round binds the library and fills the caches that are meant to stay.
    Dib canvas;
    for (const SkinSource& source : sources) ASSERT_TRUE(RenderSkinSource(source, temp, canvas, error)) << error;
    const std::size_t descriptors = OpenDescriptors();
    for (int round = 1; round < 50; ++round)
        for (const SkinSource& source : sources) {
            ASSERT_TRUE(RenderSkinSource(source, temp, canvas, error)) << source.path << ": " << error;
            ASSERT_EQ(canvas.Width(), 275);
        }
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 0);
    fs::remove_all(temp);
}

// The compact skin list gives back each skin's path, name and kind as the arguments named them:
// entries of a listed folder (an archive's name without its extension in any case), and skins
// given by their own path, whose name need not be part of the path.
TEST(SkinSourceList, GivesBackWhatWasExpanded) {
    const std::string root = ScratchFolder();
    ASSERT_FALSE(root.empty());
    fs::create_directories(root + "skins/Blue");
    std::ofstream(root + "skins/Blue/MAIN.BMP") << "BM";
    std::ofstream(root + "skins/red.WSZ") << "PK";
    std::ofstream(root + "skins/a.wsz") << "PK";
    std::ofstream(root + "skins/notes.txt") << "-";
    std::ofstream(root + "Green.zip") << "PK";

    SkinSourceList list;
    std::string error;
    ASSERT_TRUE(ExpandSkinArgument(root + "skins", list, error)) << error;
    ASSERT_TRUE(ExpandSkinArgument(root + "Green.zip", list, error)) << error;
    ASSERT_TRUE(ExpandSkinArgument(root + "skins/Blue/", list, error)) << error;
    EXPECT_FALSE(ExpandSkinArgument(root + "skins/notes.txt", list, error));
    using Kind = SkinSource::Kind;
    const std::vector<std::tuple<Kind, std::string, std::string>> expected = {
        {Kind::Folder, root + "skins/Blue", "Blue"},
        {Kind::Archive, root + "skins/a.wsz", "a"},
        {Kind::Archive, root + "skins/red.WSZ", "red"},
        {Kind::Archive, root + "Green.zip", "Green"},
        {Kind::Folder, root + "skins/Blue/", "Blue"}};
    ASSERT_EQ(list.size(), expected.size());
    std::size_t i = 0;
    for (const SkinSource& source : list) {
        EXPECT_EQ(std::tie(source.kind, source.path, source.name),
                  std::tie(std::get<0>(expected[i]), std::get<1>(expected[i]), std::get<2>(expected[i])))
            << "skin " << i;
        EXPECT_EQ(list.Path(i), source.path);
        EXPECT_EQ(list.Name(i), source.name);
        ++i;
    }
    list.Compact();
    EXPECT_EQ(list[1].path, root + "skins/a.wsz");
    EXPECT_EQ(list[4].name, "Blue");
    fs::remove_all(root);
}
