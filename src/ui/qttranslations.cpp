#include "ui/qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>
#include <vector>

namespace marovex {

namespace {
std::vector<std::unique_ptr<QTranslator>>& installed() {
    static std::vector<std::unique_ptr<QTranslator>> translators;
    return translators;
}
} // namespace

void useQtTranslations(bool russian) {
    auto& translators = installed();
    for (const auto& t : translators)
        QCoreApplication::removeTranslator(t.get());
    translators.clear();
    if (!russian) return;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* catalogue : {"qtbase_ru", "qtwebengine_ru"}) {
        auto translator = std::make_unique<QTranslator>();
        // A missing catalogue leaves those texts in English; there is nothing better to show.
        if (translator->load(QString::fromLatin1(catalogue), folder)) {
            QCoreApplication::installTranslator(translator.get());
            translators.push_back(std::move(translator));
        }
    }
}

} // namespace marovex
