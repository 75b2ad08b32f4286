#include "client/library_list.h"

#include "client/text_file.h"

#include <QSaveFile>

namespace tarn {

std::optional<std::vector<std::string>> ReadLibraryList(const std::string &FileName)
{
    const std::optional<std::string> content = ReadWholeFile(FileName);
    if (!content)
        return std::nullopt;
    std::vector<std::string> entries;
    ForEachLine(*content, [&](std::string_view Line) { entries.emplace_back(Line); });
    return entries;
}

bool WriteLibraryList(const std::string &FileName, const std::vector<std::string> &Entries)
{
    // Written beside the old file and renamed over it, so a failed write leaves the old list.
    QSaveFile file(QString::fromLocal8Bit(FileName));
    file.setDirectWriteFallback(true); // a folder we may not create files in
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const std::string &entry : Entries) {
        file.write(entry.data(), qint64(entry.size()));
        file.write("\r\n", 2);
    }
    return file.commit();
}

} // namespace tarn
