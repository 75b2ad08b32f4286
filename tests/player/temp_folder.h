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
        ASSERT_TRUE(m_Dir.isValid());
        m_Previous = std::filesystem::current_path();
        Root = std::filesystem::canonical(m_Dir.path().toStdString());
        std::filesystem::current_path(Root);
    }
    void TearDown() override { std::filesystem::current_path(m_Previous); }

    std::string PathOf(const std::string &relative) const { return (Root / relative).string(); }

    void Write(const std::string &relative, const std::string &content) const
    {
        const std::filesystem::path path = Root / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }

    std::string Read(const std::string &relative) const
    {
        std::ifstream in(Root / relative, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    bool Exists(const std::string &relative) const
    {
        std::error_code ec;
        return std::filesystem::exists(std::filesystem::symlink_status(Root / relative, ec));
    }

    std::filesystem::path Root;

private:
    QTemporaryDir m_Dir;
    std::filesystem::path m_Previous;
};

} // namespace tarn::test
