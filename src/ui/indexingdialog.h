#pragma once

#include "indexer/indexrun.h"
#include "ui/messagebox.h"
#include "ui/tablelease.h"

#include <QDialog>

#include <memory>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace Ui {
class IndexingDialog;
}

namespace marovex {

class CatalogueService;

// The indexing dialog: starts a run for new issues or a full run as an indexing job over the service's
// tables, shows its progress and stops it. Closing the dialog during a run stops the run; the dialog then
// stays alive, hidden, until the run's completion report has been made, and goes away afterwards. What the
// main window shows of a run reaches it as signals.
class IndexingDialog final : public QDialog {
    Q_OBJECT
public:
    enum class State { Idle, Running, Stopping };

    // `present` shows the messages, over the window for a null parent.
    IndexingDialog(CatalogueService& service, MessagePresenter present, QWidget* parent = nullptr);
    ~IndexingDialog() override;

    State state() const { return m_state; }
    bool isRunning() const { return m_state != State::Idle; }

public slots:
    void startRun();    // Run
    void stopRun();     // Stop
    void closeDialog(); // Close
    void openSettings();

signals:
    // A text for panel 1 to 3 of the window's status bar.
    void statusChanged(int panel, const QString& text);
    // The settings button: the window opens its settings, and the dialog shows their folder afterwards.
    void settingsRequested();
    // A full run is starting: it discards the search marks, leaving no results to clear.
    void fullRunStarting();
    // The run has ended and the window has its tables back, the catalogue in issue order.
    void runEnded();
    // The completion report has been carried out.
    void runCompleted(const marovex::indexer::IndexResult& result);

protected:
    void reject() override;

private:
    void applyTexts();
    void progressReport(const std::string& entryName);
    void completionReport(const indexer::IndexResult& result);
    void setState(State state);
    void showArchiveFolder();
    QString messageText(int key) const;
    QString messageFor(const Message& message) const;

    CatalogueService& m_service;
    MessagePresenter m_present;
    std::unique_ptr<Ui::IndexingDialog> ui;
    QLineEdit* m_archiveField = nullptr;
    QLineEdit* m_statusLine = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QPushButton* m_closeButton = nullptr;
    QGroupBox* m_runChoice = nullptr;
    QRadioButton* m_fullRun = nullptr;
    QRadioButton* m_newIssuesOnly = nullptr;
    QToolButton* m_settingsButton = nullptr;
    State m_state = State::Idle;
    // Held from the start of a run to its completion report.
    TableLease m_lease;
};

} // namespace marovex
