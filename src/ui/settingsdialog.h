#pragma once

#include "app/colorfont.h"
#include "app/language.h"
#include "app/settings.h"
#include "ui/gridlook.h"

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QString>

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace marovex {

class ColorSwatch;
class MainSession;

// The article grid's look as the main window has it now.
// What of the session the settings dialog reads and writes, and no more: the application folder with the
// settings and language files, the settings record and the archive folder it names, the message texts, and
// the topic table, opened again over the catalogue when the dialog opens and copied on OK.
class SettingsAccess {
public:
    explicit SettingsAccess(MainSession& session) : m_session(session) {}
    const std::filesystem::path& appDir() const;
    SettingsRecord& record();
    std::string& archiveFolder();
    MessageTexts& messages();
    // Whether the article grid shows any row.
    bool hasArticles() const;
    void reopenTopicTable();
    // The topic table's copy "tem.dat".
    void writeTopicCopy() const;

private:
    MainSession& m_session;
};

// What the settings dialog needs of the main window, which implements it.
class SettingsDialogHost {
public:
    virtual ~SettingsDialogHost() = default;
    virtual SettingsAccess settingsAccess() = 0;
    // What reading the settings switches in the main window.
    virtual void applySettings(const SettingsEffects& effects) = 0;
    // The topic filter, when on, applied again after the settings changed.
    virtual void reapplyTopicFilter() = 0;
    virtual GridLook gridLook() = 0;
    // The main window's m_clearHistoryAction action.
    virtual void clearSearchHistory() = 0;
    // ApplyLanguage target 1 on the main window with the record's language file, the search-scope box
    // m_scopeBox keeping its item index.
    virtual void applyMainWindowLanguage() = 0;
    virtual void applyGridLook(const Font& font, Color linkColor, Color findColor, Color tableColor) = 0;
    // The article grid keeps its current row in sight after the look changed, then repaints; only called
    // while the view holds rows.
    virtual void keepCurrentRow() = 0;
};

// The system dialogs the settings dialog opens; tests replace them. Empty members take the standard ones.
struct SettingsDialogServices {
    // Nothing when the user cancels.
    std::function<std::optional<QColor>(QWidget* parent, const QColor& initial)> pickColor;
    std::function<std::optional<QFont>(QWidget* parent, const QFont& initial)> pickFont;
    std::function<std::optional<QString>(QWidget* parent, const QString& text, const QString& start)>
        pickFolder;
    // An error box with one OK button.
    std::function<void(QWidget* parent, const QString& text)> showError;
};

// The settings dialog. Reads its values when created, writes "mvx.ini" only on OK.
class SettingsDialog final : public QDialog {
    Q_OBJECT
public:
    explicit SettingsDialog(SettingsDialogHost& host, QWidget* parent = nullptr,
                            SettingsDialogServices services = {});

    // Creates the dialog, shows it modally and destroys it when it closes (openSettingsDialog).
    static int openModal(SettingsDialogHost& host, QWidget* parent);

    // Whether every creation step ran; OK writes nothing otherwise.
    bool created() const { return m_created; }

public slots:
    void confirm();
    void cancel();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct ColorRow {
        ColorSwatch* swatch = nullptr;
        QLineEdit* hex = nullptr;
        QToolButton* take = nullptr;
    };

    void buildWindow();
    void fitTreeWidth();
    QWidget* buildAccessPage();
    QWidget* buildBehaviourPage();
    QWidget* buildGridColoursPage();
    QWidget* buildGridOptionsPage();
    QWidget* buildHighlightPage();
    QWidget* buildBrowserPage();
    QWidget* buildLanguagePage();
    ColorRow makeColorRow(QWidget* parent, const char* swatch, const char* hex, const char* take);

    void readSettings();
    void showNodePage(QTreeWidgetItem* node);
    void chooseArchiveFolder();
    void standardPrefixes();
    void clearHistory();
    void chooseFont();
    void pickColor(const ColorRow& row);
    void takeHexColor(const ColorRow& row);
    // Returns whether the key was consumed.
    bool filterHexKey(QLineEdit* field, QKeyEvent* key);
    void standardColours();
    void standardHighlight();
    void setSwatch(const ColorRow& row, Color color);
    void showFont();
    void setText(const TextAssignment& assignment);
    SettingsDialogValues values() const;
    void showError(const QString& text);

    SettingsDialogHost& m_host;
    SettingsAccess m_settings;
    SettingsDialogServices m_services;
    bool m_created = false;
    Font m_font; // the font dialog's font
    std::vector<LanguageEntry> m_languages;

    QTreeWidget* m_tree = nullptr;
    std::array<QTreeWidgetItem*, 8> m_nodes{};
    QGroupBox* m_frame = nullptr;
    QStackedWidget* m_pages = nullptr;
    QPushButton* m_ok = nullptr;

    QLineEdit* m_folder = nullptr;
    std::array<QCheckBox*, 3> m_editions{};
    std::array<QLineEdit*, 3> m_prefixes{};
    QRadioButton* m_singleClick = nullptr;
    QRadioButton* m_doubleClick = nullptr;
    QCheckBox* m_stateSave = nullptr;
    QCheckBox* m_frameOpen = nullptr;
    QLineEdit* m_fontText = nullptr;
    ColorRow m_link, m_table, m_find, m_highlight;
    QCheckBox* m_cellLines = nullptr;
    QCheckBox* m_indicator = nullptr;
    std::array<QRadioButton*, 4> m_browsers{};
    QLineEdit* m_pathMSIE = nullptr;
    QLineEdit* m_pathOpera = nullptr;
    QComboBox* m_language = nullptr;
};

} // namespace marovex
