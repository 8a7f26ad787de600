// One read of the Skins folder that answers the existence test for many identifiers.
//
// 1. A skin that is missing costs a file-system probe, and on Wine or a network share
//    a probe of a missing name scans the folder; walking past thousands of missing
//    skins one probe each takes a minute. One listing of the folder costs one scan.
// 2. The listing answers only where a name match is all that Windows would do: a name
//    without separators, wildcards, stream colons, short-name tildes, trailing dots or
//    spaces, and not a device name. Anything else is Unknown and goes to SkinExists.
// 3. Names compare as the file system looks them up: ordinally, ignoring case. A name
//    that matches more than one entry (a case-sensitive folder) or a reparse point is
//    Unknown too, so the listing never says Absent where SkinExists would say present.
#ifndef VARNEL_FOLDER_LISTING_H
#define VARNEL_FOLDER_LISTING_H

#include <string>
#include <vector>

struct ListedEntry {
    std::wstring name;
    bool directory = false;
    bool reparsePoint = false;
};

// The entries of the Skins folder, sorted by the file system's case-insensitive order.
struct FolderListing {
    std::vector<ListedEntry> entries;
};

enum class ListedPresence { Absent, Present, Unknown };

// Reads the host's Skins folder once into `listing`. False when it cannot be read
// whole, or when its path is one that SkinExists and a folder search could resolve
// differently; the caller then tests each identifier with SkinExists.
bool ReadFolderListing(FolderListing* listing);

// What SkinExists would answer for `identifier` in the folder the listing was read from.
ListedPresence LookUpListed(const FolderListing& listing, const std::wstring& identifier);

// SkinExists for a run of identifiers asked in turn. Until one is missing, each is one
// existence test as usual; at the first missing one the folder is read once, and from
// then on a name the listing shows absent costs nothing. A name it shows present is
// still confirmed by SkinExists; when that fails the folder changed under the listing,
// and the rest of the run goes back to one test each.
struct ExistenceRun {
    enum class Source { NotRead, Listing, EachName };
    Source source = Source::NotRead;
    FolderListing listing;
};
bool SkinExistsInRun(ExistenceRun& run, const std::wstring& identifier);

#endif
