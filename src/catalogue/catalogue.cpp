#include "catalogue/catalogue.h"

#include "base/atomicfile.h"

namespace marovex::catalogue {

std::string orderByField(std::string_view field) {
    return "Find;" + std::string(field) + ";Type;Number;Npp";
}

std::vector<FieldDef> articleFields() {
    return {
        {"Kod", FieldType::Int32, 0},
        {"Izb1", FieldType::Int32, 0},
        {"Izb", FieldType::Int32, 0},
        {"Type", FieldType::Int32, 0},
        {"Number", FieldType::WideText, kNumberWidth},
        {"Tem", FieldType::WideText, kTopicWidth},
        {"Statia", FieldType::WideText, kTitleWidth},
        {"Find", FieldType::Int32, 0},
        {"Link", FieldType::WideText, kLinkWidth},
        {"Npp", FieldType::Int16, 0},
    };
}

std::vector<FieldDef> topicFields() {
    return {
        {"Tem", FieldType::Text, kTopicWidth},
        {"Key", FieldType::Boolean, 0},
    };
}

std::string editionDisplayText(int type) {
    switch (type) {
    case 1:
        return "Kelvra-Gold";
    case 2:
        return "Kelvra-Release";
    case 3:
        return "Kelvra";
    default:
        return {};
    }
}

std::string padIssueNumber(std::string_view number) {
    std::string out(number);
    if (out.size() < size_t(kNumberWidth)) out.insert(0, size_t(kNumberWidth) - out.size(), ' ');
    return out;
}

bool articleEditAllowed(RecordTable& table) {
    return table.rowCount() > 0;
}

RecordTable::ErrorAction refuseDuplicateRow(const MessageSink& show) {
    if (show) show(std::string(kDuplicateRecords));
    return RecordTable::ErrorAction::Abort;
}

namespace {

std::string describe(const std::vector<FieldDef>& fields) {
    static const char* const names[] = {"int32", "int16", "wtext", "text", "bool"};
    std::string out;
    for (const FieldDef& f : fields) {
        if (!out.empty()) out += ", ";
        out += f.name + " " + names[int(f.type)];
        if (f.width) out += "(" + std::to_string(f.width) + ")";
    }
    return out;
}

void checkLayout(RecordTable& table, const std::vector<FieldDef>& expected, msg::Key what) {
    if (table.fields() == expected) return;
    const std::string found = describe(table.fields());
    const std::filesystem::path file = table.fileName();
    table.discard();
    throw TableError(Message(msg::WrongLayout, {pathValue(file), nested(Message(what, {})), textValue(found),
                                                textValue(describe(expected))}));
}

void bindArticleReactions(RecordTable& table, MessageSink show) {
    table.setBeforeEdit(articleEditAllowed);
    table.setPostError(
        [show = std::move(show)](RecordTable&, const std::string&) { return refuseDuplicateRow(show); });
}

} // namespace

void openArticleTable(RecordTable& table, const std::filesystem::path& file, MessageSink show,
                      const std::filesystem::path& readFrom) {
    table.setFileName(file);
    table.open(readFrom);
    checkLayout(table, articleFields(), msg::ArticleTableName);
    bindArticleReactions(table, std::move(show));
}

void openTopicTable(RecordTable& table, const std::filesystem::path& file,
                    const std::filesystem::path& readFrom) {
    table.setFileName(file);
    table.setSortKeys(kTopicTableOrder);
    table.open(readFrom);
    checkLayout(table, topicFields(), msg::TopicTableName);
}

void openEmptyArticleTable(RecordTable& table, MessageSink show) {
    table.setFields(articleFields());
    table.openEmpty();
    bindArticleReactions(table, std::move(show));
}

void openEmptyTopicTable(RecordTable& table) {
    table.setFields(topicFields());
    table.setSortKeys(kTopicTableOrder);
    table.openEmpty();
}

namespace {

std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
}

// Replaces the files of `replacements` as one change, naming the catalogue in a failure.
void replaceCatalogueFiles(const std::vector<Replacement>& replacements) {
    if (replacements.empty()) return;
    try {
        if (replacements.size() == 1)
            replaceWith(replacements.front().temp, replacements.front().file);
        else
            replaceTogether(replacements, folderOf(replacements.front().file) / kCommitRecord);
    } catch (const std::runtime_error& e) {
        throw TableError(Message(msg::PreviousCatalogueKept, {nested(messageOf(e))}));
    }
}

// The files a commit record may replace.
const std::vector<std::string>& pairFiles() {
    static const std::vector<std::string> files = {std::string(kArticleFile), std::string(kTopicFile)};
    return files;
}

} // namespace

Message prepareFolderForWriting(const std::filesystem::path& folder) {
    const InterruptedReplace finished = finishInterruptedReplace(folder / kCommitRecord, pairFiles());
    removeLeftoverTemporaries(folder);
    return finished.discarded;
}

void checkCatalogueReplaceable(const std::filesystem::path& folder) {
    for (const std::string& file : pairFiles())
        checkReplaceable(folder / file);
}

std::filesystem::path catalogueFileForReading(const std::filesystem::path& file) {
    return pendingReplacementOf(folderOf(file) / kCommitRecord, file, pairFiles());
}

void closeCatalogue(RecordTable& articles, RecordTable& topics) {
    std::vector<Replacement> replacements;
    try {
        for (RecordTable* t : {&articles, &topics}) {
            if (!t->isOpen()) continue;
            t->storePendingForClose();
            if (t->isModified() && !t->fileName().empty())
                replacements.push_back({t->writeTemporary(), t->fileName()});
        }
    } catch (const std::exception& e) {
        for (const auto& r : replacements) {
            std::error_code ec;
            std::filesystem::remove(r.temp, ec);
        }
        throw TableError(Message(msg::PreviousCatalogueKept, {nested(messageOf(e))}));
    }
    replaceCatalogueFiles(replacements);
    articles.discard();
    topics.discard();
}

std::vector<std::filesystem::path> createEmptyCatalogue(const std::filesystem::path& folder, bool replace) {
    std::vector<std::filesystem::path> written;
    std::vector<Replacement> replacements;
    const std::pair<std::string_view, std::vector<FieldDef>> files[] = {{kArticleFile, articleFields()},
                                                                        {kTopicFile, topicFields()}};
    try {
        for (const auto& [name, layout] : files) {
            const auto path = folder / name;
            std::error_code ec;
            if (!replace && std::filesystem::exists(path, ec)) continue;
            RecordTable table;
            table.setFields(layout);
            table.openEmpty();
            table.setFileName(path);
            replacements.push_back({table.writeTemporary(), path});
            written.push_back(path);
        }
    } catch (...) {
        for (const auto& r : replacements) {
            std::error_code ec;
            std::filesystem::remove(r.temp, ec);
        }
        throw;
    }
    replaceCatalogueFiles(replacements);
    return written;
}

} // namespace marovex::catalogue
