#pragma once

// A fresh temporary folder that is also the current directory for the test's lifetime; the
// previous current directory is restored afterwards, whatever LOCALCD did meanwhile.

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace tarn::test {

class TempFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        FPrevious = std::filesystem::current_path();
        FRoot = std::filesystem::canonical(FDir.path().toStdString());
        std::filesystem::current_path(FRoot);
    }
    void TearDown() override { std::filesystem::current_path(FPrevious); }

    std::string PathOf(const std::string &Relative) const { return (FRoot / Relative).string(); }

    void Write(const std::string &Relative, const std::string &Content) const
    {
        const std::filesystem::path path = FRoot / Relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << Content;
    }

    std::string Read(const std::string &Relative) const
    {
        std::ifstream in(FRoot / Relative, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    bool Exists(const std::string &Relative) const
    {
        std::error_code ec;
        return std::filesystem::exists(std::filesystem::symlink_status(FRoot / Relative, ec));
    }

    std::filesystem::path FRoot;

private:
    QTemporaryDir FDir;
    std::filesystem::path FPrevious;
};

} // namespace tarn::test
