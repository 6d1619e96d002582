#pragma once

#include "app/mainsession.h"

#include <QHash>
#include <QMainWindow>

#include <filesystem>
#include <functional>

class QAction;
class QComboBox;
class QTableView;
class QToolButton;

namespace marovex {

class ArticleModel;

// The main window. Creating it takes in the catalogue and the state of the last run; closing it writes them back.
class TForm1 final : public QMainWindow, private MainWindowHooks {
    Q_OBJECT
public:
    enum class MessageKind { Information, Error };
    // Shows a message box; tests replace it to see the messages without blocking.
    using MessagePresenter = std::function<void(QWidget* parent, MessageKind kind, const QString& text)>;

    explicit TForm1(std::filesystem::path appDir, MessagePresenter presenter = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    MainSession& session() { return m_session; }
    // The start-up failure mark (the window's tag).
    int tag() const { return m_session.failureMark(); }

public slots:
    void ExitExecute();
    void SetPropertiesExecute();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWindow();
    void FormCreate();
    void FormShow();

    // MainWindowHooks
    SettingsHooks settingsHooks() override;
    void setText(const TextAssignment& assignment) override;
    void showInformation(const std::string& text) override;
    void showError(const std::string& text) override;
    void setHistory(const std::vector<std::string>& entries) override;
    std::vector<std::string> history() const override;
    void selectHistoryEntry(int index) override;
    void setSearchResultsEndEnabled(bool enabled) override;

    void present(MessageKind kind, const std::string& text);
    void showCurrentRow(int row);

    MainSession m_session;
    MessagePresenter m_presenter;
    ArticleModel* m_model = nullptr;
    QTableView* m_grid = nullptr;
    QComboBox* m_searchBox = nullptr;
    QToolButton* m_searchEnd = nullptr;
    QAction* m_exit = nullptr;
    QAction* m_setProperties = nullptr;
    bool m_shownOnce = false;
    QHash<QString, QString> m_columnTitles; // by field name, from the language file
};

} // namespace marovex
