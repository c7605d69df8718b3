// The exported settings: defaults, setter results, the 16-bit rules, the reset after the main call,
// and the configuration file.
#include "LibraryFixture.h"

using InterfaceTest = LibraryTest;

TEST_F(InterfaceTest, VersionIsZeroSeven) {
    int16_t major = -1, minor = -1;
    Tarrow_GetVersion(&major, &minor);
    EXPECT_EQ(major, 0);
    EXPECT_EQ(minor, 7);
}

TEST_F(InterfaceTest, MainCallWithoutArchiveReturnsMinusOneAndKeepsSettings) {
    Tarrow_Overwrite(12);
    EXPECT_EQ(Tarrow(), -1);
    EXPECT_EQ(Tarrow_Overwrite(0), 12);
    EXPECT_TRUE(messages.empty());
}

TEST_F(InterfaceTest, ArchiveNameGetsZipExtensionOnlyWhenItHasNone) {
    std::string file = path("config.txt");
    auto firstKeyLine = [&] {
        Tarrow_SaveConfiguration(file.c_str());
        std::string text = readFile(file);
        size_t start = text.find("Tarrow_ArchiveName=");
        return text.substr(start, text.find('\n', start) - start);
    };
    EXPECT_EQ(Tarrow_ArchiveName("C:\\skins\\blue"), 1);
    EXPECT_EQ(firstKeyLine(), "Tarrow_ArchiveName=C:/skins/blue.ZIP");
    Tarrow_ArchiveName("skins.d/blue.wsz");
    EXPECT_EQ(firstKeyLine(), "Tarrow_ArchiveName=skins.d/blue.wsz");
    Tarrow_ArchiveName("-");
    EXPECT_EQ(firstKeyLine(), "Tarrow_ArchiveName=-");
    Tarrow_ArchiveName("skins.d/plain");
    EXPECT_EQ(firstKeyLine(), "Tarrow_ArchiveName=skins.d/plain.ZIP");
    ziptest::writeFile(path("noext"), {'P'});  // an existing file is taken as it is named
    Tarrow_ArchiveName(path("noext").c_str());
    EXPECT_EQ(firstKeyLine(), "Tarrow_ArchiveName=" + path("noext"));
    EXPECT_EQ(Tarrow_ArchiveName(""), 0);
    EXPECT_EQ(firstKeyLine(), "Tarrow_ArchiveName=");
    EXPECT_EQ(Tarrow(), -1);
}

TEST_F(InterfaceTest, NumbersOutsideTheirRangeLeaveTheSettingUnchanged) {
    EXPECT_EQ(Tarrow_Overwrite(13), 10);
    EXPECT_EQ(Tarrow_Overwrite(11), 11);
    EXPECT_EQ(Tarrow_Overwrite(0x1000C), 12);  // only the low 16 bits count
    EXPECT_EQ(Tarrow_RestoreAttributes(40), 32);
    EXPECT_EQ(Tarrow_RestoreAttributes(-1), 32);
    EXPECT_EQ(Tarrow_RestoreAttributes(39), 39);
    EXPECT_EQ(Tarrow_RestoreAttributes(0), 0);
}

TEST_F(InterfaceTest, FlagsCountOnlyTheirLowSixteenBits) {
    EXPECT_EQ(Tarrow_RestoreStructure(-1), 1);
    EXPECT_EQ(Tarrow_RestoreStructure(65536), 0);
    EXPECT_EQ(Tarrow_View(2), 1);
    EXPECT_EQ(Tarrow_Test(0), 0);
}

TEST_F(InterfaceTest, SetterResults) {
    EXPECT_EQ(Tarrow_ExtractTo("out"), 1);
    EXPECT_EQ(Tarrow_Include("*.bmp|*.txt"), 1);
    EXPECT_EQ(Tarrow_Decrypt(""), 1);
    EXPECT_EQ(Tarrow_IncludeListFile(path("missing.lst").c_str()), 0);
    EXPECT_EQ(Tarrow_ExcludeListFile(path("missing.lst").c_str()), 0);
    ziptest::writeFile(path("list.lst"), {'*'});
    EXPECT_EQ(Tarrow_ExcludeListFile(path("list.lst").c_str()), 1);
    EXPECT_EQ(Tarrow_ToPrinter(""), 0);
    EXPECT_EQ(Tarrow_ToPrinter("lp0"), 1);
    char buffer[4];
    EXPECT_EQ(Tarrow_ToMemory(buffer, 0), 0);
    EXPECT_EQ(Tarrow_ToMemory(buffer, sizeof buffer), 1);
    EXPECT_EQ(Tarrow_FromMemory(nullptr, 10), 0);
    EXPECT_EQ(Tarrow_InstallCallbackEx(nullptr, 5), 1);
    EXPECT_EQ(Tarrow_SetParentWindowHandle(7), 1);
}

TEST_F(InterfaceTest, ConfigurationRightAfterInitialise) {
    std::string file = path("settings.ini");
    EXPECT_EQ(Tarrow_SaveConfiguration(file.c_str()), 1);
    EXPECT_EQ(readFile(file),
              "; Auto-Configuration file\n"
              "; Created by TARROW32.DLL v0.7\n"
              "\n"
              "Tarrow_ArchiveName=\n"
              "Tarrow_Decrypt=\n"
              "Tarrow_DisplayComment=0\n"
              "Tarrow_Exclude=\n"
              "Tarrow_ExcludeListFile=\n"
              "Tarrow_ExtractTo=\n"
              "Tarrow_Freshen=0\n"
              "Tarrow_Include=\n"
              "Tarrow_IncludeListFile=\n"
              "Tarrow_Overwrite=10\n"
              "Tarrow_RestoreAttributes=32\n"
              "Tarrow_RestorePermissions=0\n"
              "Tarrow_RestoreStructure=0\n"
              "Tarrow_Test=0\n"
              "Tarrow_Update=0\n"
              "Tarrow_View=0");
}

TEST_F(InterfaceTest, ConfigurationCarriesEverySetting) {
    ziptest::writeFile(path("in.lst"), {'a'});
    Tarrow_ArchiveName("a.wsz");
    Tarrow_Decrypt("Skin");
    Tarrow_DisplayComment(1);
    Tarrow_Exclude("*.txt");
    Tarrow_IncludeListFile(path("in.lst").c_str());
    Tarrow_ExtractTo("/tmp/x");
    Tarrow_Freshen(1);
    Tarrow_Include("*.bmp");
    Tarrow_Overwrite(11);
    Tarrow_RestoreAttributes(39);
    Tarrow_RestorePermissions(1);
    Tarrow_RestoreStructure(-1);
    Tarrow_Test(1);
    Tarrow_Update(1);
    Tarrow_View(-1);
    std::string file = path("settings.ini");
    ASSERT_EQ(Tarrow_SaveConfiguration(file.c_str()), 1);
    std::string text = readFile(file);
    EXPECT_NE(text.find("\nTarrow_Decrypt=Skin\nTarrow_DisplayComment=1\nTarrow_Exclude=*.txt\n"
                        "Tarrow_ExcludeListFile=\nTarrow_ExtractTo=/tmp/x\nTarrow_Freshen=1\nTarrow_Include=*.bmp\n"
                        "Tarrow_IncludeListFile=" +
                        path("in.lst") +
                        "\nTarrow_Overwrite=11\nTarrow_RestoreAttributes=39\nTarrow_RestorePermissions=1\n"
                        "Tarrow_RestoreStructure=1\n"
                        "Tarrow_Test=1\nTarrow_Update=1\nTarrow_View=1"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.substr(text.size() - 13), "Tarrow_View=1");
}

TEST_F(InterfaceTest, ConfigurationFailsWhenTheFileCannotBeCreated) {
    EXPECT_EQ(Tarrow_SaveConfiguration(path("no/such/folder/x.ini").c_str()), 0);
}

TEST_F(InterfaceTest, MainCallResetsSettingsButKeepsItsError) {
    Tarrow_ArchiveName(path("absent.zip").c_str());
    Tarrow_Overwrite(11);
    Tarrow_RestoreStructure(1);
    Tarrow_RestorePermissions(1);
    Tarrow_Abort(1);  // cleared by the main call before it starts
    EXPECT_EQ(Tarrow(), 0);
    EXPECT_EQ(Tarrow_GetLastError(), TARROW_ERROR_NO_ARCHIVE);
    EXPECT_EQ(Tarrow_Overwrite(0), 10);
    EXPECT_EQ(Tarrow_RestoreAttributes(-1), 32);
    EXPECT_EQ(Tarrow_RestorePermissions(0x10000), 0);
    EXPECT_EQ(Tarrow(), -1);  // the archive name is gone
    EXPECT_EQ(Tarrow_GetLastError(), 0);
}
