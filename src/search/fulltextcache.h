#pragma once

#include "base/message.h"
#include "search/textstore.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace marovex::search {

class ArticleFiles;
struct FullTextJob;

// What a program that runs full-text searches one after another keeps between them, so that a later search
// reads no article file that did not change: the text store, loaded once, and where each row's file was
// found, with the identity it had then. Every folder that finding a file looked into is watched first
// (FolderWatch); a change reported there makes what it touches be looked for anew. Everything else costs one
// look at the file's identity: a change through a name the file got elsewhere (a hard link) is reported to
// no watched folder, but alters the identity. A file the watch cannot vouch for is looked for on every
// search as without the cache: when no watch could be set, on a file system that does not report every
// change, found through a symbolic link, or unreadable. Used by one search at a time.
class FullTextCache {
public:
    FullTextCache();
    ~FullTextCache();
    FullTextCache(const FullTextCache&) = delete;
    FullTextCache& operator=(const FullTextCache&) = delete;

    // --- For runFullTextSearch ---

    struct Place; // where one row's file was found

    // Before a walk, on its thread: takes the changes reported since the last walk and forgets what they
    // touched; forgets everything for another archive, other prefixes or a mount that came or went. Returns
    // the store in `storeFile`, kept loaded while its files stay as they were.
    TextStore* begin(const FullTextJob& job, const std::filesystem::path& storeFile);
    // The place of the file of the row at `position` in the walk; on the walk's thread, in the order of the
    // walk, before the readers start. Null when this walk trusts no place (no watch on this system, or a file
    // system that does not report every change).
    Place* place(std::size_t position, int type, std::string_view number, std::string_view link);
    // Before the readers start: looks at the identity of every file the places know (one lstat each, on
    // `threads` threads) and forgets the places whose files changed. A change through a name the file got
    // in a folder no watch sees (a hard link) is reported nowhere, but alters the identity.
    void verify(const std::vector<Place*>& places, int threads);
    // On any thread: whether the place is still as it was found; then `found` tells whether there is a file,
    // and `path` and `identity` are the file's as it was found.
    bool known(const Place* place, bool& found, std::string_view& path, FileIdentity& identity) const;
    // TextStore::find for a known place's file, remembered for the next walk.
    std::size_t storeEntry(Place* place, std::string_view path, const FileIdentity& identity);
    // ArticleFiles::examine, the place trusted from now on when the watch can vouch for the answer.
    bool examine(Place* place, ArticleFiles& files, int type, std::string_view number, std::string_view link,
                 std::filesystem::path& path, platform::FileStatus& st, std::string& bytes, bool lookFirst,
                 bool& read);
    // A row whose file the walk read and tested without keeping its text, or did not find, without the
    // cache learning where it lies (Windows-1251 number and link).
    struct Unkept {
        Place* place = nullptr;
        int type = 0;
        std::string number, link;
    };
    // After the walk: saves the store at once when the walk left no row; otherwise starts keeping those
    // texts, each file looked for as examine(...) does it, and the fill saves the store when it is done or
    // ended.
    void end(std::vector<Unkept> unkept, const FullTextJob& job, bool walkComplete);

    // --- For a program that searches ---

    // Waits until the texts left by the last walk are kept and the store saved.
    void waitForFill();
    // Whether a problem is told for the first time since the cache was made: a program that searches
    // again and again says each once.
    bool firstTime(const Message& problem);
    // Tests: the fill stops after the first `rows` rows and waits to be ended by the next search.
    void pauseFillAfter(std::size_t rows);

private:
    struct Node;
    struct Issue;
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace marovex::search
