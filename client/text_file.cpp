#include "client/text_file.h"

#include <QSaveFile>
#include <cstdio>

namespace tarn {

std::optional<std::string> ReadWholeFile(const std::string &FileName)
{
    std::FILE *file = std::fopen(FileName.c_str(), "rb");
    if (!file)
        return std::nullopt;
    std::string content;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        content.append(buffer, got);
    std::fclose(file);
    return content;
}

std::optional<std::string> WriteLines(const std::string &FileName,
                                      const std::vector<std::string> &Lines)
{
    QSaveFile file(QString::fromLocal8Bit(FileName));
    file.setDirectWriteFallback(true);
    if (file.open(QIODevice::WriteOnly)) {
        for (const std::string &line : Lines) {
            file.write(line.data(), qint64(line.size()));
            file.write("\r\n", 2);
        }
        if (file.commit())
            return std::nullopt;
    }
    return file.errorString().toLocal8Bit().toStdString();
}

} // namespace tarn
