#pragma once

#include "base/platform.h"

#include <filesystem>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Messages of this application's own that reach the user, and the texts of its own that the windows show
// beside the numbered interface texts. Each has a key numbered after those texts: a language file may give
// its wording under that key, and a Russian and an English wording are built in. A message is kept as its
// key and values, so that the program that shows it words it in its language: the windows in the interface
// language, the command-line companion in English.
namespace marovex {

namespace msg {
// "%1", "%2"… in a wording stand for the message's values in order.
enum Key : int {
    // Texts of the windows.
    LoadingCatalogue = 85,
    IndexingFailed,
    WaitForSearch,
    AboutNameLine,
    AboutSupportLine,
    // Files of the application folder and the archive.
    NotRegularFile = 90, // %1 file, %2 its kind
    NotRegularFileToReplace,
    FileTooLarge, // %1 file, %2 the limit
    CannotRead,   // %1 file, %2 the system's reason
    CannotReadFolder,
    CannotWrite,
    CannotReplace,
    WriteProtected,
    DamagedCommitRecord, // %1 record, %2 what is wrong with it
    CannotCompleteWrite, // %1 file, %2 reason
    CannotRemove,        // %1 file, %2 reason
    FileNotFound,        // %1 file
    FolderLocked,        // %1 folder, %2 the program holding it
    AnotherProgram,      // the holder when it cannot be named
    CannotLockFolder,    // %1 folder, %2 reason
    HolderNamed,         // %1 its command line, %2 its process number
    HolderProcess,       // %1 its process number
    // The catalogue files.
    NotACatalogueFile = 110, // %1 file, %2 what is wrong
    CatalogueEmpty,          // %1 file
    WrongLayout,             // %1 file, %2 the table it should hold, %3 fields found, %4 fields expected
    ArticleTableName,
    TopicTableName,
    PreviousCatalogueKept,  // %1 the error
    CatalogueDatabaseError, // %1 file, %2 what was done, %3 the database's words
    // Indexing.
    NoArchiveFolder = 118,
    ArchiveFolderMissing, // %1 folder
    ArchiveFolderNotAFolder,
    ArchiveFolderUnreadable, // %1 folder, %2 reason
    RowNotStored,
    PageError,      // %1 page, %2 the error
    ErrorThenError, // %1 the error, %2 the one that followed while cleaning up
    // Settings and opening.
    SettingError = 125, // %1 where, %2 the error
    InvalidColour,      // %1 the text
    InvalidHexColour,
    InvalidFontSize, // %1 points, %2 pixels per inch
    InvalidFont,     // %1 description, %2 what is wrong with it
    CannotReadPage,  // %1 file, %2 reason
    PageLeavesIssue, // %1 file
    // The system's reasons.
    NoSuchFile = 135,
    AccessDenied,
    NoSpace,
    ReadOnlyFileSystem,
    InputOutputError,
    IsAFolder,
    NotAFolder,
    TooManyLinks,
    FileExists,
    NameTooLong,
    TooManyOpenFiles,
    QuotaExceeded,
    Busy,
    // Kinds of files.
    KindFolder = 150,
    KindFifo,
    KindCharacterDevice,
    KindBlockDevice,
    KindSocket,
    KindLink,
    KindUnknown,
    // What makes a commit record damaged, and a replacement left to the next writer.
    RecordIncomplete = 160,
    RecordForeign,
    RecordNamesNothing,
    RecordBadLine,
    RecordNamesOther,          // %1 the file
    RecordNotTemporaryOf,      // %1 the name, %2 the file
    RecordNamesTwice,          // %1 the file
    RecordTemporaryNotRegular, // %1 the name
    NotInRecordFolder,         // %1 file, %2 record
    ReplaceLeftForNextWriter,  // %1 file, %2 reason
    // What is wrong with a catalogue file.
    NotAMarovexTable = 175,
    UnsupportedFormatVersion, // %1 the version
    CutShort,                 // %1 bytes there, %2 bytes needed
    NotADatabase,
    DatabaseDamaged,
    // What is wrong with a font description.
    FontFieldMissing = 185, // %1 the field
    FontFieldNotANumber,    // %1 the text, %2 the field
    FontPitchInvalid,       // %1 the text
    // The full-text search.
    UnreadableOne = 190, // %1 the file and its reason
    UnreadableMany,      // %1 how many, %2 the first of them
    UnreadableMore,      // %1 the files named, %2 how many more
    UnreadableEntry,     // %1 file, %2 reason
    ListJoin,            // %1 a list, %2 its next item
    ArticleUnreadable,   // %1 file, %2 reason
    TextsNotKept,        // %1 why the text store cannot be kept
    LinkLeavesIssue,     // the reason an article file is never looked for
    // Opening files and programs.
    CannotOpenFile = 210, // %1 file, %2 why
    NoProgramForFile,     // the desktop has no program for files of the kind
    OpenerEnded,          // %1 the desktop's opening program, %2 its exit status
    CannotStartProgram,   // %1 program, %2 reason
    // Texts the windows add to the numbered interface texts, and their messages.
    RowCount = 300,    // %1 the rows in view
    FilterOnStatus,    // the status bar while the topic filter is on
    FilterOnButton,    // the filter button while the filter is off
    FilterOffButton,   // and while it is on
    TextSearchCaption, // the full-text search's progress dialog
    TextSearchCancel,
    SearchCancelled, // %1 the articles found before the stop
    FullRunQuestion, // before a full indexing run
    PaneNotCreated,  // the embedded browser could not be made
    SettingsCancel,
    BrowserNode,     // the settings tree's node of the viewers
    AboutVersion,    // %1 the version
    AboutEmail,      // before the distributor's e-mail address
    AboutMagazine,   // before the magazine's web address
    BrowserNotSet,   // no browser program is set
    BrowserNotFound, // %1 the program
    // The pane's bar, find bar and menu.
    PaneBack = 316,
    PaneForward,
    PaneReload,
    PaneCopy,
    PaneSelectAll,
    PaneFind,
    PaneZoomIn,
    PaneZoomOut,
    PaneActualSize,
    PanePrint,
    PaneSavePdf,
    PaneCopyAddress,
    PaneOpenInBrowser,
    FindPrevious,
    FindNext,
    FindMatchCase,
    FindClose,
    FindPlaceholder,
    FindCount, // %1 the current hit, %2 the hits
    FindNotFound,
    ZoomLevel,     // the zoom level's hint
    PdfTitle,      // the PDF file dialog's title
    PdfFilter,     // its file type
    PdfNotWritten, // %1 the file
    PrintFailed,
    Last = PrintFailed,
};
} // namespace msg

// One message: its key and values, each value a text or a message of its own. A message without a key is
// a text of the program's internals, shown as it stands.
struct Message {
    struct Value {
        std::string text; // UTF-8
        std::shared_ptr<const Message> message;
    };
    int key = 0;
    std::vector<Value> values;
    std::string text; // without a key: the whole message

    Message() = default;
    Message(int key, std::initializer_list<Value> values) : key(key), values(values) {}
    static Message plain(std::string text);
    bool empty() const { return key == 0 && text.empty(); }

    // The message worded by `wording`, which gives the pattern of a key (empty for none: the built-in
    // English one serves then).
    template <class Wording> std::string render(const Wording& wording) const;
    // In English, as the command-line companion shows it.
    std::string english() const;
};

// Values of messages.
Message::Value textValue(std::string text);
Message::Value pathValue(const std::filesystem::path& path);
Message::Value nested(Message message);
// The system's reason for an error number: one of our keys where we have one, else the system's text.
Message::Value errorReason(int error);
// The kind of a file that is not a regular one.
Message::Value fileKind(platform::FileKind kind);

// The built-in wording of a key, Russian or English; empty for a key without one.
std::string_view builtInText(int key, bool english);
// Fills "%1"… of a pattern with the values, "%%" giving "%".
std::string fillPattern(std::string_view pattern, const std::vector<std::string>& values);

// An error carrying its message; what() is the English wording.
class MessageError : public std::runtime_error {
public:
    explicit MessageError(Message message);
    explicit MessageError(const std::string& text) : MessageError(Message::plain(text)) {}
    const Message& message() const { return m_message; }

private:
    Message m_message;
};

// The message of any error: its own for a MessageError, its text for any other.
Message messageOf(const std::exception& error);

// In English, for logs and test reports.
std::ostream& operator<<(std::ostream& out, const Message& message);

template <class Wording> std::string Message::render(const Wording& wording) const {
    if (key == 0) return text;
    std::vector<std::string> filled;
    filled.reserve(values.size());
    for (const Value& v : values)
        filled.push_back(v.message ? v.message->render(wording) : v.text);
    std::string pattern = wording(key);
    if (pattern.empty()) pattern = std::string(builtInText(key, true));
    return fillPattern(pattern, filled);
}

} // namespace marovex
