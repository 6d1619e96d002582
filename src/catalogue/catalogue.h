#pragma once

#include "catalogue/recordtable.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The article table and the topic table: layouts, sort key lists,
// display texts and the table-level reactions.
namespace marovex::catalogue {

inline constexpr std::string_view kArticleFile = "mvx.dat";
inline constexpr std::string_view kTopicFile = "subjects.dat";
inline constexpr std::string_view kTopicCopyFile = "tem.dat";
inline constexpr std::string_view kHistoryFile = "search.dat";

// Widths of the text fields.
inline constexpr int kNumberWidth = 3;
inline constexpr int kTopicWidth = 55;
inline constexpr int kTitleWidth = 200;
inline constexpr int kLinkWidth = 200;

// Sort key lists.
inline constexpr std::string_view kStandardOrder = "Find;Type;Number;Tem;Npp";
inline constexpr std::string_view kFavouritesOrder = "Find;Izb1;Type;Number;Tem;Npp";
inline constexpr std::string_view kTopicOrder = "Find;Tem;Type;Number;Npp";
inline constexpr std::string_view kTitleOrder = "Find;Statia;Type;Number;Npp";
inline constexpr std::string_view kIndexedOrder = "Find;Type;Number;Npp";
inline constexpr std::string_view kWalkOrder = "Type;Number";
inline constexpr std::string_view kTopicTableOrder = "Tem";
inline constexpr std::string_view kNaturalOrder = "";
// "Find;" + field + ";Type;Number;Npp" for the topic and title columns.
std::string orderByField(std::string_view field);

// Favourite and search marks.
inline constexpr int kFavourite = -1;
inline constexpr int kFound = -1;

// The message shown when the table refuses to store a row.
inline constexpr std::string_view kDuplicateRecords = "Повторяющиеся записи";

std::vector<FieldDef> articleFields();
std::vector<FieldDef> topicFields();

// Display text of the edition code: "Kelvra-Gold", "Kelvra-Release", "Kelvra", empty otherwise.
std::string editionDisplayText(int type);

// Issue number as stored: left-padded with blanks to three characters.
std::string padIssueNumber(std::string_view number);

// Shows a message to the user (a message box in the application, a line on standard error in the companion).
using MessageSink = std::function<void(const std::string& message)>;

// An edit is refused while the view holds no rows.
bool articleEditAllowed(RecordTable& table);
// A refused store shows "Повторяющиеся записи" and stops the storing command without a further message.
RecordTable::ErrorAction refuseDuplicateRow(const MessageSink& show);

// Binds the article table to its file, opens it with its reactions, and checks its layout. A missing,
// unreadable or foreign file raises TableError naming the file and what is wrong; the table stays closed.
// `readFrom` is a pending replacement to read in the file's place (see catalogueFileForReading).
void openArticleTable(RecordTable& table, const std::filesystem::path& file, MessageSink show,
                      const std::filesystem::path& readFrom = {});
void openTopicTable(RecordTable& table, const std::filesystem::path& file,
                    const std::filesystem::path& readFrom = {});

// --- The catalogue pair: "mvx.dat" and "subjects.dat" change together -----------------------------------

// The commit record of a pair replacement, beside the catalogue files.
inline constexpr std::string_view kCommitRecord = ".mvx.commit";

// For the folder's one writer, before it opens the catalogue: completes a pair replacement that a crash
// interrupted, and removes the temporary files that killed writes left behind. Returns a message for the
// user when a damaged commit record was discarded (nothing renamed), empty otherwise. A commit record that
// is no regular file or cannot be read raises FileError naming it.
Message prepareFolderForWriting(const std::filesystem::path& folder);

// Raises FileError naming the first of the catalogue files of `folder` that a write must not replace
// (see checkReplaceable): for a command that checks before its first write what it will write.
void checkCatalogueReplaceable(const std::filesystem::path& folder);

// For readers, who hold no lock and change nothing: the file that holds the current content of a
// catalogue file (the new file of a pair replacement that was decided but not finished).
std::filesystem::path catalogueFileForReading(const std::filesystem::path& file);

// Writes back whichever of the two tables changed, both as one change, and closes both. When the write
// fails, the error names the file and says that the previous catalogue was kept; both tables stay open
// with their rows and nothing on disk has changed.
void closeCatalogue(RecordTable& articles, RecordTable& topics);

// Empty tables of the right layouts, not bound to a file.
void openEmptyArticleTable(RecordTable& table, MessageSink show = {});
void openEmptyTopicTable(RecordTable& table);

// Writes empty "mvx.dat" and "subjects.dat" into a folder. Existing files are kept unless `replace` is set;
// returns the files written.
std::vector<std::filesystem::path> createEmptyCatalogue(const std::filesystem::path& folder, bool replace);

} // namespace marovex::catalogue
