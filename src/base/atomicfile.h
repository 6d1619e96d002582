#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace marovex {

// Replaces a file's content so that a crash or a full disk leaves either the old or the new content:
// the bytes go to a new file beside it, are flushed to disk, and the new file is renamed over the old.
// Raises std::runtime_error naming the file and the reason.
void writeFileAtomically(const std::filesystem::path& file, std::string_view bytes);

// A fresh name for a temporary file beside `file`, in the same folder so that a rename can replace it.
std::filesystem::path temporaryBeside(const std::filesystem::path& file);

// Flushes the finished temporary file to disk and renames it over `file`, then flushes the folder.
// Raises std::runtime_error naming `file` and the reason; the temporary file is removed then.
void replaceWith(const std::filesystem::path& temp, const std::filesystem::path& file);

// One file's replacement: a finished temporary file and the file it replaces.
struct Replacement {
    std::filesystem::path temp;
    std::filesystem::path file;
};

// Replaces several files of one folder as one change: after a crash at any moment, the next
// FinishInterruptedReplace sees either every old file or every new one. The temporaries are flushed, a
// commit record naming them is written atomically, then each is renamed over its file and the record is
// removed. Raises std::runtime_error naming the file and the reason; before the record is written every
// temporary is removed and every old file is untouched.
void replaceTogether(const std::vector<Replacement>& replacements, const std::filesystem::path& record);

// Completes a replacement that a crash interrupted: a complete commit record has its remaining renames
// done; an unreadable or incomplete one is discarded (its temporaries then count as leftovers). Returns
// whether a record was found.
bool FinishInterruptedReplace(const std::filesystem::path& record);

// The file to read for `file` while a commit record may be pending, without changing anything on disk
// (for readers that hold no lock): the record's new temporary when one is named and still there.
std::filesystem::path PendingReplacementOf(const std::filesystem::path& record, const std::filesystem::path& file);

// Removes the temporaries that killed writes left in a folder (names made by temporaryBeside). Only for
// the folder's one writer, after FinishInterruptedReplace.
void RemoveLeftoverTemporaries(const std::filesystem::path& folder);

} // namespace marovex
