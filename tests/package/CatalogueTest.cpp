// Reading archives: end record search, comment, central directory walk, selection, view mode.
#include "LibraryFixture.h"

using ziptest::Archive;
using ziptest::Member;
using CatalogueTest = LibraryTest;

namespace {

Member stored(const std::string &name, const std::string &data)
{
    Member m;
    m.name = name;
    m.data = data;
    return m;
}

// Member names of the listing messages, folder and file part joined again.
std::vector<std::string> listedNames(const std::vector<std::string> &listings)
{
    std::vector<std::string> names;
    for (const std::string &t : listings) {
        size_t a = t.find('|'), b = t.find('|', a + 1), c = t.find('|', b + 1);
        std::string folder = t.substr(a + 1, b - a - 1), file = t.substr(b + 1, c - b - 1);
        names.push_back(folder.empty() ? file : file.empty() ? folder : folder + "/" + file);
    }
    return names;
}

} // namespace

TEST_F(CatalogueTest, ListsEachMemberOnce)
{
    Archive a;
    a.members = {stored("skins/main.bmp", "BM1234"), stored("pledit.txt", "[Text]")};
    std::string file = writeArchive("two.zip", a);
    EXPECT_EQ(list(file), 2);
    EXPECT_EQ(listedNames(texts(TARROW_MSG_LISTING)), (std::vector<std::string>{"skins/main.bmp", "pledit.txt"}));
    EXPECT_EQ(Tarrow_GetLastError(), 0);
}
