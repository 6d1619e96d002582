#pragma once

#include "base/message.h"
#include "base/platform.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace marovex {

// Replaces a file's content so that a crash or a full disk leaves either the old or the new content:
// the bytes go to a new file beside it, are flushed to disk, and the new file is renamed over the old.
// Raises std::runtime_error naming the file and the reason; a file checkReplaceable refuses is left as
// it is.
void writeFileAtomically(const std::filesystem::path& file, std::string_view bytes);

// Raises FileError naming `file` when a write must not replace it: it is there but is no regular file (a
// link to one counts as one), or it is write-protected (its owner may not write it, or this process may
// not). A file that is not there may be made.
void checkReplaceable(const std::filesystem::path& file);

// A fresh name for a temporary file beside `file`, in the same folder so that a rename can replace it.
std::filesystem::path temporaryBeside(const std::filesystem::path& file);

// A temporary file beside `file` made by this call, open for writing. It is created exclusively and never
// through a link: whatever already has the name (a leftover, or a link planted to make us write elsewhere)
// makes it take the next name. Raises std::runtime_error naming `file`.
struct NewTemporary {
    std::filesystem::path path;
    platform::FileHandle file;
};
NewTemporary createTemporaryBeside(const std::filesystem::path& file);

// Flushes the finished temporary file to disk and renames it over `file`, then flushes the folder.
// Raises std::runtime_error naming `file` and the reason; the temporary file is removed then.
void replaceWith(const std::filesystem::path& temp, const std::filesystem::path& file);

// One file's replacement: a finished temporary file and the file it replaces.
struct Replacement {
    std::filesystem::path temp;
    std::filesystem::path file;
};

// Replaces several files of one folder as one change: after a crash at any moment, the next
// finishInterruptedReplace sees either every old file or every new one. The temporaries are flushed, a
// commit record naming them is written atomically, then each is renamed over its file and the record is
// removed. Raises std::runtime_error naming the file and the reason; before the record is written every
// temporary is removed and every old file is untouched.
void replaceTogether(const std::vector<Replacement>& replacements, const std::filesystem::path& record);

// A commit record's (temporary, file) pairs, or why it is damaged. Only pairs that replace one of `files`
// with a temporary name of that very file (as temporaryBeside makes them) count; anything else makes the
// whole record damaged, since a record naming other files would rename them over each other.
struct CommitRecord {
    std::vector<std::pair<std::string, std::string>> pairs;
    Message damage; // empty for a sound record
};
CommitRecord parseCommitRecord(std::string_view bytes, const std::vector<std::string>& files);

// What finishInterruptedReplace found.
struct InterruptedReplace {
    bool found = false; // a record was there
    Message discarded;  // the message for a damaged record that was discarded, nothing renamed
};

// Completes a replacement of some of `files` (names in the record's folder) that a crash interrupted: a
// sound record has its remaining renames done; a damaged one is discarded without renaming anything (its
// temporaries then count as leftovers). A record that is no regular file or cannot be read raises
// FileError naming it and is left as it is.
InterruptedReplace finishInterruptedReplace(const std::filesystem::path& record,
                                            const std::vector<std::string>& files);

// The file to read for `file` while a commit record may be pending, without changing anything on disk
// (for readers that hold no lock): the record's new temporary when a sound record names one that is still
// there. A record that is no regular file or cannot be read raises FileError naming it.
std::filesystem::path pendingReplacementOf(const std::filesystem::path& record,
                                           const std::filesystem::path& file,
                                           const std::vector<std::string>& files);

// Removes the temporaries that killed writes left in a folder (names made by temporaryBeside), and
// whatever else has such a name, but a folder only when it is empty. Only for the folder's one writer,
// after finishInterruptedReplace.
void removeLeftoverTemporaries(const std::filesystem::path& folder);

} // namespace marovex
