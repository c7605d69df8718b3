#include "LibraryFixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

std::vector<Delivered> LibraryTest::messages;
std::function<int16_t(int, const std::string&)> LibraryTest::answer;

int16_t LibraryTest::record(int32_t library, int32_t code, const char* text) {
    EXPECT_EQ(library, 1);
    messages.push_back({code, text});
    return answer ? answer(code, text) : 0;
}

void LibraryTest::SetUp() {
    messages.clear();
    answer = nullptr;
    tarrow_platform_set_hooks(nullptr);
    Tarrow_InstallCallback(record);
    Tarrow_SetWindowHandle(0);
    Tarrow_Initialise();
    std::string pattern = (std::filesystem::temp_directory_path() / "tarrow-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_folder = pattern;
}

void LibraryTest::TearDown() {
    Tarrow_InstallCallback(nullptr);
    tarrow_platform_set_hooks(nullptr);
    Tarrow_Initialise();
    std::filesystem::remove_all(m_folder);
}

std::string LibraryTest::writeArchive(const std::string& name, const ziptest::Archive& archive) {
    std::string file = path(name);
    ziptest::writeFile(file, ziptest::build(archive));
    return file;
}

int32_t LibraryTest::list(const std::string& archive, const char* include) {
    Tarrow_Initialise();
    Tarrow_ArchiveName(archive.c_str());
    Tarrow_View(1);
    if (include) Tarrow_Include(include);
    return Tarrow();
}

int32_t LibraryTest::extractInto(const std::string& archive, const std::string& folder,
                                 const std::function<void()>& settings) {
    Tarrow_Initialise();
    Tarrow_ArchiveName(archive.c_str());
    Tarrow_ExtractTo(folder.c_str());
    Tarrow_RestoreStructure(1);
    Tarrow_Overwrite(TARROW_OVERWRITE_ALWAYS);
    if (settings) settings();
    return Tarrow();
}

int32_t LibraryTest::test(const std::string& archive) {
    Tarrow_Initialise();
    Tarrow_ArchiveName(archive.c_str());
    Tarrow_Test(1);
    return Tarrow();
}

std::vector<std::string> LibraryTest::texts(int code) const {
    std::vector<std::string> out;
    for (const Delivered& m : messages)
        if (m.code == code) out.push_back(m.text);
    return out;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}
