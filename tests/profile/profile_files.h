#pragma once

#include <QTemporaryDir>
#include <fstream>
#include <iterator>
#include <string>

namespace tarn {

// Reading and writing whole files byte for byte, in a temporary folder of the test's own.
class TProfileFiles
{
public:
    std::string Path(const std::string &Name) const
    {
        return Dir.path().toStdString() + "/" + Name;
    }

    static void Write(const std::string &Path, const std::string &Bytes)
    {
        std::ofstream(Path, std::ios::binary) << Bytes;
    }
    static std::string Read(const std::string &Path)
    {
        std::ifstream in(Path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    QTemporaryDir Dir;
};

} // namespace tarn
