#pragma once

#include "client/list_parse.h"
#include "client/listing_model.h"

#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// What a listing shows, taken from the text a LIST sent.
struct TListingEntries
{
    std::vector<TListEntry> Directories; // DirView
    std::vector<TListEntry> Files;       // FileView
};

// Where the listing was made, as far as the entries depend on it.
struct TListingPlace
{
    TServerKind Kind = skOther;
    std::string CurrentDir;
    std::string RootDir;
    std::vector<std::string> LibList;
};

// The entries of a listing, in the order of its lines:
// - a parent entry ".." of type "*Parent" first, except at "/", "\" and the server's root;
// - each valid line (ParseListLine): a directory in DirView, its type or size in the Type
//   column and a size of exactly "0" shown as "<dir>"; a file in FileView with its size and
//   date; other lines are skipped;
// - at the root of the library file system (a CurrentDir of at most 10 characters that holds
//   "QSYS.LIB" in any case) the libraries of the library list, of type "*LIB".
// A pure function: it may run on any thread.
TListingEntries ListingEntries(std::string_view Text, const TListingPlace &Place);

} // namespace tarn
