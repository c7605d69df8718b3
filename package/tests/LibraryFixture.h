// Fixture for tests that drive the library through its C exports: records every message the
// callback receives, lets a test script the answers, and gives each test its own folder.
#pragma once

#include "ZipWriter.h"
#include "tarrow.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

struct Delivered {
    int code;
    std::string text;
};

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Path of a file inside this test's folder.
    std::string path(const std::string& name) const { return m_folder + "/" + name; }
    std::string writeArchive(const std::string& name, const ziptest::Archive& archive);
    // Runs a listing (view mode) of the archive and returns the main call's result.
    int32_t list(const std::string& archive, const char* include = nullptr);
    // Extracts the archive under folder, structure restored and every file overwritten, with the
    // given settings applied last; returns the main call's result.
    int32_t extractInto(const std::string& archive, const std::string& folder,
                        const std::function<void()>& settings = {});
    // Tests the archive (test mode); returns the main call's result.
    int32_t test(const std::string& archive);
    std::vector<std::string> texts(int code) const;

    static std::vector<Delivered> messages;
    // Answer for each message; answers 0 when empty.
    static std::function<int16_t(int code, const std::string& text)> answer;

private:
    static int16_t record(int32_t library, int32_t code, const char* text);
    std::string m_folder;
};

std::string readFile(const std::string& path);
