#pragma once

#include <QTemporaryDir>
#include <fstream>
#include <iterator>
#include <string>

namespace tarn {

// Reading and writing whole files byte for byte, in a temporary folder of the test's own.
class ProfileFiles
{
public:
    std::string Path(const std::string &name) const
    {
        return Dir.path().toStdString() + "/" + name;
    }

    static void Write(const std::string &path, const std::string &bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Read(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    QTemporaryDir Dir;
};

} // namespace tarn
