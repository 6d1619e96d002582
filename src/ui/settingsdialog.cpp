#include "ui/settingsdialog.h"

#include "app/mainsession.h"
#include "app/settingsactions.h"
#include "ui/colorswatch.h"
#include "ui/messagebox.h"
#include "ui/placement.h"
#include "ui/qtconvert.h"
#include "ui/settingsdialogparts.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeWidget>

namespace marovex {

namespace sd = settingsactions;
using namespace settingsdialogparts;

namespace {

SettingsDialogServices standardServices() {
    SettingsDialogServices s;
    s.pickColor = [](QWidget* parent, const QColor& initial) -> std::optional<QColor> {
        const QColor c = QColorDialog::getColor(initial, parent);
        if (!c.isValid()) return std::nullopt;
        return c;
    };
    s.pickFont = [](QWidget* parent, const QFont& initial) -> std::optional<QFont> {
        bool ok = false;
        const QFont f = QFontDialog::getFont(&ok, initial, parent);
        if (!ok) return std::nullopt;
        return f;
    };
    s.pickFolder = [](QWidget* parent, const QString& text, const QString& start) -> std::optional<QString> {
        const QString folder = QFileDialog::getExistingDirectory(parent, text, start);
        if (folder.isEmpty()) return std::nullopt;
        return QDir::toNativeSeparators(folder);
    };
    s.showError = [](QWidget* parent, const QString& text) {
        showMessageBox(parent, MessageKind::Error, text);
    };
    return s;
}

} // namespace

const std::filesystem::path& SettingsAccess::appDir() const {
    return m_session.appDir();
}
SettingsRecord& SettingsAccess::record() {
    return m_session.ini;
}
std::string& SettingsAccess::archiveFolder() {
    return m_session.archiveFolder;
}
MessageTexts& SettingsAccess::messages() {
    return m_session.messages;
}
bool SettingsAccess::hasArticles() const {
    return m_session.articles().rowCount() > 0;
}
void SettingsAccess::reopenTopicTable() {
    sd::reopenTopicTable(m_session.topics(), m_session.articles());
}
void SettingsAccess::writeTopicCopy() const {
    sd::writeTopicCopy(m_session.appDir(), m_session.topics());
}

SettingsDialog::SettingsDialog(SettingsDialogHost& host, QWidget* parent, SettingsDialogServices services)
    : QDialog(parent), m_host(host), m_settings(host.settingsAccess()), m_services(std::move(services)) {
    const SettingsDialogServices standard = standardServices();
    if (!m_services.pickColor) m_services.pickColor = standard.pickColor;
    if (!m_services.pickFont) m_services.pickFont = standard.pickFont;
    if (!m_services.pickFolder) m_services.pickFolder = standard.pickFolder;
    if (!m_services.showError) m_services.showError = standard.showError;
    buildWindow();
    readSettings();
}

int SettingsDialog::openModal(SettingsDialogHost& host, QWidget* parent) {
    auto* dialog = new SettingsDialog(host, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    centreOnScreen(*dialog);
    return dialog->exec();
}

// --- Layout ------------------------------------------------------------------------------------------------

void SettingsDialog::readSettings() {
    m_tree->expandItem(m_nodes[kViewNode]);
    m_tree->setCurrentItem(m_nodes[0]);

    try {
        ArchiveAccess access;
        readAccess(m_settings.appDir(), access);
        if (const auto effects = loadSettings(m_settings.appDir(), m_settings.record()))
            m_host.applySettings(*effects);

        m_languages = buildLanguageList(m_settings.appDir());
        for (const LanguageEntry& entry : m_languages)
            m_language->addItem(QString::fromStdString(entry.name));
        m_language->setCurrentIndex(selectLanguage(m_languages, m_settings.record().local));

        const GridLook look = m_host.gridLook();
        m_font = look.font;
        showFont();
        setSwatch(m_link, look.linkColor);
        setSwatch(m_table, look.tableColor);
        setSwatch(m_find, look.findColor);
        setSwatch(m_highlight, m_settings.record().color_htm_fon);

        m_folder->setText(QString::fromStdString(access.folder));
        m_editions[0]->setChecked(access.gold);
        m_editions[1]->setChecked(access.release);
        m_editions[2]->setChecked(access.plain);
        for (int code = 1; code <= 3; ++code)
            m_prefixes[std::size_t(code - 1)]->setText(
                QString::fromStdString(m_settings.record().editionPrefix(code)));

        m_stateSave->setChecked(m_settings.record().state_save);
        m_frameOpen->setChecked(m_settings.record().frame);
        m_browsers[std::size_t(sd::chosenViewer(m_settings.record().select_browser)) - 1]->setChecked(true);
        m_pathMSIE->setText(QString::fromStdString(m_settings.record().path_MSIE));
        m_pathOpera->setText(QString::fromStdString(m_settings.record().path_Opera));
        m_cellLines->setChecked(look.cellLines);
        m_indicator->setChecked(look.indicator);
        if (m_settings.record().onclick) m_singleClick->setChecked(true);
        // Every control now holds a real value; OK may write them.
        m_created = true;

        m_settings.reopenTopicTable();
        applyLanguage(
            language::Target::SettingsDialog, m_settings.appDir(), m_settings.record().local,
            [this](const TextAssignment& a) { setText(a); }, m_settings.messages());
    } catch (const std::exception& e) {
        // The remaining steps are skipped and the dialog still opens.
        showError(QString::fromStdString(m_settings.messages().render(messageOf(e))));
    }
    // Paths show their beginning (the drive or the root), not their last characters.
    for (QLineEdit* path : {m_folder, m_pathMSIE, m_pathOpera})
        path->setCursorPosition(0);
    fitTreeWidth(); // the language may have given the nodes longer texts
    // A dialog whose fields were not all filled would write blanks over the user's settings.
    m_ok->setEnabled(m_created);
    setFixedSize(kClientArea.expandedTo(sizeHint()));
}

void SettingsDialog::setText(const TextAssignment& a) {
    const QString text = QString::fromStdString(a.text);
    const QString name = QString::fromLatin1(a.component.data(), qsizetype(a.component.size()));
    if (a.property == TextProperty::TreeNode) {
        if (a.index >= 0 && a.index < int(m_nodes.size())) m_nodes[std::size_t(a.index)]->setText(0, text);
        return;
    }
    QWidget* target = name == objectName() ? this : findChild<QWidget*>(name);
    if (!target) return;
    if (a.property == TextProperty::Hint) {
        target->setToolTip(text);
    } else if (a.property == TextProperty::Caption) {
        if (target == this)
            setWindowTitle(text);
        else if (auto* box = qobject_cast<QGroupBox*>(target))
            box->setTitle(text);
        else if (auto* button = qobject_cast<QAbstractButton*>(target))
            button->setText(text);
        else if (auto* label = qobject_cast<QLabel*>(target))
            label->setText(text);
    }
}

// --- Handlers ----------------------------------------------------------------------------------------------

void SettingsDialog::showNodePage(QTreeWidgetItem* node) {
    if (!node) return;
    const int page = kNodes[node->data(0, Qt::UserRole).toInt()].page;
    if (page < 0) return;
    m_pages->setCurrentIndex(page);
    m_frame->setTitle(node->text(0));
}

void SettingsDialog::chooseArchiveFolder() {
    if (auto folder = m_services.pickFolder(
            this, QString::fromStdString(m_settings.messages()[language::kChooseArchiveText]),
            m_folder->text()))
        m_folder->setText(*folder);
}

void SettingsDialog::standardPrefixes() {
    namespace k = settings::keys;
    m_prefixes[0]->setText(QString::fromUtf8(k::nameKelvraGold.def));
    m_prefixes[1]->setText(QString::fromUtf8(k::nameKelvraRelease.def));
    m_prefixes[2]->setText(QString::fromUtf8(k::nameKelvra.def));
}

void SettingsDialog::clearHistory() {
    m_host.clearSearchHistory();
}

void SettingsDialog::chooseFont() {
    if (auto chosen = m_services.pickFont(this, qtconvert::toQFont(m_font))) {
        try {
            m_font = qtconvert::fromQFont(*chosen, m_font);
        } catch (const std::exception& e) {
            showError(QString::fromStdString(m_settings.messages().render(messageOf(e))));
        }
    }
    showFont();
}

void SettingsDialog::showFont() {
    m_fontText->setText(QString::fromStdString(m_font.name) + QLatin1Char(' ') +
                        QString::number(m_font.size()));
}

void SettingsDialog::setSwatch(const ColorRow& row, Color color) {
    row.swatch->setColor(color);
    row.hex->setText(QString::fromStdString(colorToHex(color)));
}

void SettingsDialog::pickColor(const ColorRow& row) {
    const QColor initial = qtconvert::toQColor(row.swatch->color());
    const std::optional<QColor> chosen = m_services.pickColor(this, initial);
    if (chosen) row.swatch->setColor(qtconvert::fromQColor(*chosen));
    row.swatch->setHoverColor(chosen ? *chosen : initial);
    row.hex->setText(QString::fromStdString(colorToHex(row.swatch->color())));
}

void SettingsDialog::takeHexColor(const ColorRow& row) {
    try {
        row.swatch->setColor(hexToColor(row.hex->text().toStdString()));
    } catch (const ConversionError&) {
        showError(QString::fromStdString(m_settings.messages()[language::kBadHexColourText]));
    }
}

bool SettingsDialog::filterHexKey(QLineEdit* field, QKeyEvent* key) {
    // Keys that type no character (moves, Delete, Tab, Enter, Escape) keep their usual meaning.
    switch (key->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return false;
    default:
        break;
    }
    const QList<uint> typed = key->text().toUcs4();
    if (typed.isEmpty()) return false;
    const char32_t ch = typed.front();
    const char32_t accepted = sd::filterHexKey(std::size_t(field->text().size()), ch);
    if (accepted == ch) return false;
    if (accepted != 0) field->insert(QString::fromUcs4(&accepted, 1));
    return true;
}

bool SettingsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        for (const ColorRow* row : {&m_link, &m_table, &m_find, &m_highlight})
            if (watched == row->hex) return filterHexKey(row->hex, static_cast<QKeyEvent*>(event));
    }
    return QDialog::eventFilter(watched, event);
}

void SettingsDialog::standardColours() {
    setSwatch(m_link, sd::kStandardLinkColor);
    setSwatch(m_table, sd::kStandardTableColor);
    setSwatch(m_find, sd::kStandardFindColor);
}

void SettingsDialog::standardHighlight() {
    setSwatch(m_highlight, sd::kStandardHighlightColor);
}

SettingsDialogValues SettingsDialog::values() const {
    SettingsDialogValues v;
    v.dbdir = m_folder->text().toStdString();
    v.kelvraGold = m_editions[0]->isChecked();
    v.kelvraRelease = m_editions[1]->isChecked();
    v.kelvra = m_editions[2]->isChecked();
    for (std::size_t i = 0; i < 3; ++i)
        v.editionPrefixes[i] = m_prefixes[i]->text().toStdString();
    v.colorFind = m_find.swatch->color();
    v.colorLink = m_link.swatch->color();
    v.colorTable = m_table.swatch->color();
    v.colorHtmFon = m_highlight.swatch->color();
    v.frame = m_frameOpen->isChecked();
    v.stateSave = m_stateSave->isChecked();
    v.font = m_font;
    v.cellLines = m_cellLines->isChecked();
    v.indicator = m_indicator->isChecked();
    v.msieSelected = m_browsers[1]->isChecked();
    v.operaSelected = m_browsers[2]->isChecked();
    v.defaultBrowserSelected = m_browsers[3]->isChecked();
    v.pathMSIE = m_pathMSIE->text().toStdString();
    v.pathOpera = m_pathOpera->text().toStdString();
    const int language = m_language->currentIndex();
    if (language >= 0 && language < int(m_languages.size()))
        v.local = m_languages[std::size_t(language)].file;
    v.onclick = m_singleClick->isChecked();
    return v;
}

void SettingsDialog::confirm() {
    if (!m_created) return;
    try {
        const std::string previousLanguage = m_settings.record().local;
        if (const auto effects =
                saveSettings(m_settings.appDir(), values(), m_settings.record(), m_settings.archiveFolder()))
            m_host.applySettings(*effects);
        m_host.reapplyTopicFilter();
        if (m_settings.record().local != previousLanguage) m_host.applyMainWindowLanguage();
        m_host.applyGridLook(m_font, m_link.swatch->color(), m_find.swatch->color(), m_table.swatch->color());
        if (m_settings.hasArticles()) m_host.keepCurrentRow();
        m_settings.writeTopicCopy();
    } catch (const std::exception& e) {
        // The dialog stays open; keys written before the failure stay written.
        showError(QString::fromStdString(m_settings.messages().render(messageOf(e))));
        return;
    }
    accept();
}

void SettingsDialog::cancel() {
    reject();
}

void SettingsDialog::showError(const QString& text) {
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_services.showError(this, shown);
}

} // namespace marovex
