#include "app/settingsactions.h"

#include "catalogue/catalogue.h"

namespace marovex::settingsactions {

char32_t filterHexKey(std::size_t fieldLength, char32_t key) {
    if (key == U'\b') return key;
    if (fieldLength >= kHexDigits) return 0;
    if ((key >= U'0' && key <= U'9') || (key >= U'A' && key <= U'F')) return key;
    if (key >= U'a' && key <= U'f') return key - U'a' + U'A';
    return 0;
}

viewer::Viewer chosenViewer(std::int32_t selectBrowser) {
    using viewer::Viewer;
    const auto stored = static_cast<Viewer>(selectBrowser);
    switch (stored) {
    case Viewer::Pane:
    case Viewer::Msie:
    case Viewer::Opera:
    case Viewer::DefaultBrowser:
        return stored;
    }
    return Viewer::Pane;
}

void reopenTopicTable(RecordTable& topics, const RecordTable& articles) {
    if (!topics.isOpen()) return;
    if (topics.isModified() && articles.isModified()) {
        topics.setSortKeys(catalogue::kTopicTableOrder);
        return;
    }
    const auto file = topics.fileName();
    topics.close();
    try {
        catalogue::openTopicTable(topics, file);
    } catch (...) {
        // The windows keep a table to show; an empty, unchanged one never overwrites the file.
        topics.discard();
        catalogue::openEmptyTopicTable(topics);
        topics.setFileName(file);
        throw;
    }
}

void writeTopicCopy(const std::filesystem::path& appDir, const RecordTable& topics) {
    topics.saveToFile(appDir / catalogue::kTopicCopyFile);
}

} // namespace marovex::settingsactions
