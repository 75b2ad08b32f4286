#include "client/listing_entries.h"

#include "client/text_file.h"
#include "support/text.h"

namespace tarn {

TListingEntries ListingEntries(std::string_view Text, const TListingPlace &Place)
{
    TListingEntries entries;
    const std::string &dir = Place.CurrentDir;
    if (dir != "/" && dir != "\\" && dir != Place.RootDir)
        entries.Directories.push_back({"..", "*Parent", {}});
    ForEachLine(Text, [&](std::string_view Line) {
        TListLine line = ParseListLine(Place.Kind, Line);
        if (!line.Valid)
            return;
        if (line.Directory) {
            entries.Directories.push_back(
                {std::move(line.Name), line.Size == "0" ? "<dir>" : std::move(line.Size), {}});
        } else {
            entries.Files.push_back(
                {std::move(line.Name), std::move(line.Size), std::move(line.Date)});
        }
    });
    if (UpperCaseAscii(dir).find("QSYS.LIB") != std::string::npos && dir.size() <= 10) {
        for (const std::string &library : Place.LibList)
            entries.Directories.push_back({library, "*LIB", {}});
    }
    return entries;
}

} // namespace tarn
