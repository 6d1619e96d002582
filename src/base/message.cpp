#include "base/message.h"

#include <cerrno>
#include <cstring>
#include <ostream>

namespace marovex {

namespace {

struct BuiltIn {
    int key;
    std::string_view russian, english;
};

using namespace msg;

constexpr BuiltIn kBuiltIn[] = {
    {LoadingCatalogue, "Загрузка каталога…", "Loading the catalogue…"},
    {IndexingFailed, "Прервано ошибкой", "Stopped by an error"},
    {WaitForSearch, "Дождитесь окончания поиска.", "Wait until the search has finished."},
    {AboutNameLine, "Читатель архива «Kelvrania»", "Kelvrania archive reader"},
    {AboutSupportLine,
     "Сайт Marovex: поддержка, новости, обновления:", "Marovex support site, news and updates:"},

    {NotRegularFile, "%1: файл не прочитан: это не обычный файл (%2)",
     "%1: cannot read: not a regular file (%2)"},
    {NotRegularFileToReplace, "%1: файл не заменён: это не обычный файл (%2)",
     "%1: cannot replace: not a regular file (%2)"},
    {FileTooLarge, "%1: файл не прочитан: он больше %2", "%1: cannot read: the file is larger than %2"},
    {CannotRead, "%1: файл не прочитан: %2", "%1: cannot read: %2"},
    {CannotReadFolder, "%1: папка не прочитана: %2", "%1: cannot read the folder: %2"},
    {CannotWrite, "%1: файл не записан: %2", "%1: cannot write: %2"},
    {CannotReplace, "%1: файл не заменён: %2", "%1: cannot replace: %2"},
    {WriteProtected, "%1: файл не заменён: он защищён от записи",
     "%1: cannot replace: the file is write-protected"},
    {DamagedCommitRecord, "%1: повреждённая запись о замене файлов отброшена, ничего не переименовано (%2)",
     "%1: a damaged commit record was discarded and nothing was renamed (%2)"},
    {CannotCompleteWrite, "%1: прерванная запись не завершена: %2",
     "%1: cannot complete an interrupted write: %2"},
    {CannotRemove, "%1: файл не удалён: %2", "%1: cannot remove: %2"},
    {FileNotFound, "%1: файл не найден", "%1: file not found"},
    {FolderLocked, "%1: папкой программы сейчас пользуется %2; повторите, когда она закончит",
     "%1: the application folder is in use by %2; try again when it has finished"},
    {AnotherProgram, "другая программа Marovex", "another Marovex program"},
    {CannotLockFolder, "%1: папку программы не удалось занять: %2",
     "%1: cannot lock the application folder: %2"},
    {HolderNamed, "«%1» (процесс %2)", "\"%1\" (process %2)"},
    {HolderProcess, "процесс %1", "process %1"},

    {NotACatalogueFile, "%1: это не файл каталога: %2", "%1: not a valid catalogue file: %2"},
    {CatalogueEmpty, "%1: это не файл каталога: файл пуст",
     "%1: not a valid catalogue file: the file is empty"},
    {WrongLayout, "%1: это не %2 (поля %3; нужны %4)", "%1: not %2 (fields %3; expected %4)"},
    {ArticleTableName, "таблица статей", "an article table"},
    {TopicTableName, "таблица рубрик", "a topic table"},
    {PreviousCatalogueKept, "%1; прежний каталог сохранён", "%1; the previous catalogue was kept"},
    {CatalogueDatabaseError, "%1: %2: %3", "%1: %2: %3"},

    {NoArchiveFolder, "Папка архива не задана (dbdir в mvx.ini); ничего не изменено",
     "no archive folder is set (dbdir in mvx.ini); nothing was changed"},
    {ArchiveFolderMissing, "%1: папки архива нет; ничего не изменено",
     "%1: the archive folder does not exist; nothing was changed"},
    {ArchiveFolderNotAFolder, "%1: это не папка; ничего не изменено",
     "%1: the archive folder is not a folder; nothing was changed"},
    {ArchiveFolderUnreadable, "%1: папка архива не прочитана: %2; ничего не изменено",
     "%1: the archive folder cannot be read: %2; nothing was changed"},
    {RowNotStored, "строка не сохранена", "a row could not be stored"},
    {PageError, "%1: %2", "%1: %2"},
    {ErrorThenError, "%1; затем: %2", "%1; then: %2"},

    {SettingError, "%1, [%2] %3: %4", "%1, [%2] %3: %4"},
    {InvalidColour, "%1 — это не цвет", "%1 is not a valid colour"},
    {InvalidHexColour, "%1 — это не шестнадцатеричный цвет: нужны шесть цифр RRGGBB",
     "%1 is not a valid hex colour: six digits RRGGBB are needed"},
    {InvalidFontSize, "Размер шрифта %1 при %2 точках на дюйм вне допустимых пределов",
     "Font size %1 at %2 pixels per inch is out of range"},
    {InvalidFont, "Описание шрифта %1: %2", "Font description %1: %2"},
    {FontFieldMissing, "нет поля (%1)", "the field is missing (%1)"},
    {FontFieldNotANumber, "%1 — не число (%2)", "%1 is not a number (%2)"},
    {FontPitchInvalid, "%1 — неверный шаг шрифта (0, 1 или 2)", "%1 is not a valid pitch (0, 1 or 2)"},

    {UnreadableOne, "Файл статьи не прочитан, текст в нём считается ненайденным: %1.",
     "1 article file could not be read and was searched as not containing the text: %1."},
    {UnreadableMany, "Не прочитано файлов статей: %1, текст в них считается ненайденным: %2.",
     "%1 article files could not be read and were searched as not containing the text: %2."},
    {UnreadableMore, "%1; и ещё %2", "%1; and %2 more"},
    {UnreadableEntry, "%1 (%2)", "%1 (%2)"},
    {ListJoin, "%1; %2", "%1; %2"},
    {ArticleUnreadable, "%1: файл статьи не прочитан (%2)", "%1: cannot read the article file (%2)"},
    {TextsNotKept,
     "%1. Прочитанные тексты статей не сохраняются, и каждый поиск по тексту читает файлы статей заново.",
     "%1. The texts of the articles read are not kept, and every full-text search reads the article files "
     "again."},
    {LinkLeavesIssue, "ссылка ведёт за пределы папки выпуска", "the link leads out of the issue folder"},
    {CannotOpenFile, "%1: файл не открыт: %2", "%1: cannot open the file: %2"},
    {NoProgramForFile, "на этом компьютере файлы такого вида открыть нечем",
     "no program on this computer opens files of this kind"},
    {OpenerEnded, "%1 завершилась с кодом %2", "%1 ended with status %2"},
    {CannotStartProgram, "%1: программа не запущена: %2", "%1: cannot start the program: %2"},
    {CannotReadPage, "Файл %1 не прочитан: %2", "Cannot read the file %1: %2"},
    {PageLeavesIssue, "его настоящий путь ведёт за пределы папки выпуска",
     "its real path leaves the issue folder"},

    {RowCount, "Всего статей : %1", "Total articles: %1"},
    {FilterOnStatus, "Фильтр по рубрикам включён", "Topic filter on"},
    {FilterOnButton, "Включить фильтр", "Filter On"},
    {FilterOffButton, "Выключить фильтр", "Filter Off"},
    {TextSearchCaption, "Поиск по тексту публикаций", "Searching the article texts"},
    {TextSearchCancel, "Отмена", "Cancel"},
    {SearchCancelled, "Поиск прерван. Найдено статей до остановки: %1",
     "Search cancelled. Articles found before it stopped: %1"},
    {FullRunQuestion,
     "Каталог будет построен заново: избранное и отметки поиска будут потеряны. Если остановить обработку, "
     "в каталоге останутся только уже прочитанные выпуски. Обработать архив полностью?",
     "The catalogue is built anew: favourites and search marks are lost. A run that is stopped keeps only "
     "the issues read so far. Index all issues?"},
    {PaneNotCreated, "Окно встроенного браузера не создано: страницы открываются программой по умолчанию.",
     "The embedded browser could not be created: pages open with the desktop's default program."},
    {SettingsCancel, "Отмена", "Cancel"},
    {BrowserNode, "Браузер", "Browser"},
    {AboutVersion, "версия %1", "version %1"},
    {AboutEmail, "E-mail:", "E-mail:"},
    {AboutMagazine, "Электронный журнал «Kelvrania»:", "\"Kelvrania\" electronic journal:"},
    {BrowserNotSet, "Программа браузера не задана в настройках.",
     "No browser program is set in the settings."},
    {BrowserNotFound, "%1: программа браузера не найдена", "%1: the browser program was not found"},
    {PaneBack, "Назад", "Back"},
    {PaneForward, "Вперёд", "Forward"},
    {PaneReload, "Обновить", "Reload"},
    {PaneCopy, "Копировать", "Copy"},
    {PaneSelectAll, "Выделить всё", "Select all"},
    {PaneFind, "Найти на странице…", "Find in page…"},
    {PaneZoomIn, "Крупнее", "Zoom in"},
    {PaneZoomOut, "Мельче", "Zoom out"},
    {PaneActualSize, "Обычный размер", "Actual size"},
    {PanePrint, "Печать…", "Print…"},
    {PaneSavePdf, "Сохранить как PDF…", "Save as PDF…"},
    {PaneCopyAddress, "Копировать адрес", "Copy address"},
    {PaneOpenInBrowser, "Открыть в браузере", "Open in the desktop's browser"},
    {FindPrevious, "Предыдущее", "Previous"},
    {FindNext, "Следующее", "Next"},
    {FindMatchCase, "С учётом регистра", "Match case"},
    {FindClose, "Закрыть", "Close"},
    {FindPlaceholder, "Найти на странице", "Find in page"},
    {FindCount, "%1 из %2", "%1 of %2"},
    {FindNotFound, "не найдено", "not found"},
    {ZoomLevel, "Масштаб страницы", "Zoom level"},
    {PdfTitle, "Сохранить страницу как PDF", "Save the page as PDF"},
    {PdfFilter, "Файлы PDF (*.pdf)", "PDF files (*.pdf)"},
    {PdfNotWritten, "%1: файл PDF не записан", "%1: the PDF file could not be written"},
    {PrintFailed, "Страница не напечатана.", "The page was not printed."},

    {NoSuchFile, "нет такого файла или папки", "no such file or folder"},
    {AccessDenied, "доступ запрещён", "permission denied"},
    {NoSpace, "на диске нет места", "no space left on the disk"},
    {ReadOnlyFileSystem, "диск доступен только для чтения", "the file system is read-only"},
    {InputOutputError, "ошибка ввода-вывода", "input/output error"},
    {IsAFolder, "это папка", "it is a folder"},
    {NotAFolder, "часть пути — не папка", "a part of the path is not a folder"},
    {TooManyLinks, "слишком много символических ссылок", "too many symbolic links"},
    {FileExists, "файл уже есть", "the file exists"},
    {NameTooLong, "слишком длинное имя", "the name is too long"},
    {TooManyOpenFiles, "открыто слишком много файлов", "too many open files"},
    {QuotaExceeded, "превышена дисковая квота", "the disk quota is exceeded"},
    {Busy, "файл занят", "the file is busy"},

    {KindFolder, "папка", "a folder"},
    {KindFifo, "канал FIFO", "a FIFO"},
    {KindCharacterDevice, "символьное устройство", "a character device"},
    {KindBlockDevice, "блочное устройство", "a block device"},
    {KindSocket, "сокет", "a socket"},
    {KindLink, "символическая ссылка", "a symbolic link"},
    {KindUnknown, "файл неизвестного вида", "an unknown kind of file"},

    {RecordIncomplete, "она не закончена", "it is incomplete"},
    {RecordForeign, "это запись не этой программы", "it is no commit record of this program"},
    {RecordNamesNothing, "в ней нет ни одного файла", "it names no file"},
    {RecordBadLine, "строка в ней — не пара имён", "a line is no pair of names"},
    {RecordNamesOther, "в ней есть %1, который ей заменять нельзя", "it names %1, which it may not replace"},
    {RecordNotTemporaryOf, "в ней есть %1, не временный файл для %2",
     "it names %1, which is no temporary of %2"},
    {RecordNamesTwice, "%1 назван в ней дважды", "it names %1 twice"},
    {RecordTemporaryNotRegular, "%1 — не обычный файл", "%1 is not a regular file"},
    {NotInRecordFolder, "%1: файл не заменён: он не в папке %2",
     "%1: cannot replace: not in the folder of %2"},
    {NotAMarovexTable, "это не таблица Marovex (другая база данных)",
     "not a Marovex table (another kind of database)"},
    {UnsupportedFormatVersion, "неизвестная версия формата %1", "unsupported format version %1"},
    {CutShort, "файл обрезан (%1 байт из %2)", "the file is cut short (%1 of %2 bytes)"},
    {NotADatabase, "это не база данных", "the file is not a database"},
    {DatabaseDamaged, "база данных повреждена", "the database is damaged"},
    {ReplaceLeftForNextWriter,
     "%1: файл не заменён: %2 (замена завершится, когда папку снова откроют для записи)",
     "%1: cannot replace: %2 (the change is completed when the folder is next opened for writing)"},
};

} // namespace

Message Message::plain(std::string text) {
    Message m;
    m.text = std::move(text);
    return m;
}

std::string Message::english() const {
    return render([](int) { return std::string(); });
}

Message::Value textValue(std::string text) {
    return {std::move(text), nullptr};
}

Message::Value pathValue(const std::filesystem::path& path) {
    const std::u8string name = path.u8string();
    return {std::string(name.begin(), name.end()), nullptr};
}

Message::Value nested(Message message) {
    return {{}, std::make_shared<const Message>(std::move(message))};
}

Message::Value errorReason(int error) {
    int key = 0;
    switch (error) {
    case ENOENT:
        key = NoSuchFile;
        break;
    case EACCES:
    case EPERM:
        key = AccessDenied;
        break;
    case ENOSPC:
        key = NoSpace;
        break;
    case EROFS:
        key = ReadOnlyFileSystem;
        break;
    case EIO:
        key = InputOutputError;
        break;
    case EISDIR:
        key = IsAFolder;
        break;
    case ENOTDIR:
        key = NotAFolder;
        break;
    case ELOOP:
        key = TooManyLinks;
        break;
    case EEXIST:
        key = FileExists;
        break;
    case ENAMETOOLONG:
        key = NameTooLong;
        break;
    case EMFILE:
    case ENFILE:
        key = TooManyOpenFiles;
        break;
#ifdef EDQUOT
    case EDQUOT:
        key = QuotaExceeded;
        break;
#endif
    case EBUSY:
    case ETXTBSY:
        key = Busy;
        break;
    default:
        return textValue(std::strerror(error));
    }
    return nested(Message(key, {}));
}

Message::Value fileKind(platform::FileKind kind) {
    using platform::FileKind;
    switch (kind) {
    case FileKind::Directory:
        return nested(Message(KindFolder, {}));
    case FileKind::Fifo:
        return nested(Message(KindFifo, {}));
    case FileKind::CharDevice:
        return nested(Message(KindCharacterDevice, {}));
    case FileKind::BlockDevice:
        return nested(Message(KindBlockDevice, {}));
    case FileKind::Socket:
        return nested(Message(KindSocket, {}));
    case FileKind::Link:
        return nested(Message(KindLink, {}));
    default:
        return nested(Message(KindUnknown, {}));
    }
}

std::string_view builtInText(int key, bool english) {
    for (const BuiltIn& b : kBuiltIn)
        if (b.key == key) return english ? b.english : b.russian;
    return {};
}

std::string fillPattern(std::string_view pattern, const std::vector<std::string>& values) {
    std::string out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (pattern[i] == '%' && next == '%') {
            out += '%';
            ++i;
        } else if (pattern[i] == '%' && next >= '1' && next <= '9' &&
                   std::size_t(next - '1') < values.size()) {
            out += values[std::size_t(next - '1')];
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

MessageError::MessageError(Message message)
    : std::runtime_error(message.english()), m_message(std::move(message)) {}

std::ostream& operator<<(std::ostream& out, const Message& message) {
    return out << message.english();
}

Message messageOf(const std::exception& error) {
    if (const auto* own = dynamic_cast<const MessageError*>(&error)) return own->message();
    return Message::plain(error.what());
}

} // namespace marovex
