#pragma once

#include "search/fulltext.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <memory>
#include <string>

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace Ui {
class SearchProgressDialog;
}

namespace marovex {

class MessageTexts;

// The progress dialog of the full-text search. It closes only after the worker's finish report: the close
// box, Escape and Cancel all ask the worker to stop after the row it is on.
class SearchProgressDialog final : public QDialog {
    Q_OBJECT
public:
    // Its texts are those of `messages`, the interface language's.
    SearchProgressDialog(QWidget* parent, std::atomic<bool>& stop, const MessageTexts& messages);
    ~SearchProgressDialog() override;

    // The progress bar's range: every row of the article table.
    void setRowCount(int rows);
    bool finished() const { return m_state.finished(); }

    // Reports of the search job, run on this dialog's thread while the walk waits.
    void showProgress(const search::FindProgress& progress);
    void finishSearch();

public slots:
    void cancel();

signals:
    // Every progress report, also those whose display was put off.
    void progressReported(const marovex::search::FindProgress& progress);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    bool mayClose();
    void showPending();

    std::unique_ptr<Ui::SearchProgressDialog> ui;
    QLineEdit* m_hitsLine = nullptr;
    QLineEdit* m_issueLine = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QProgressBar* m_progressBar = nullptr;
    search::FindDialogState m_state;
    std::string m_issueText;
    std::string m_hitsText;
    // A report arrives for every row; the fields are redrawn at most once per refresh interval, and the
    // values held back are shown by the timer or by the finish report.
    search::FindProgress m_pending;
    bool m_hasPending = false;
    QElapsedTimer m_lastShown;
    QTimer m_refresh;
};

// Runs the full-text search on `articles` behind the modal progress dialog and returns once the worker
// has ended; the stop flag is false again afterwards. The caller has detached the grid.
search::FullTextResult runFullTextWithProgress(QWidget* parent, RecordTable& articles,
                                               const search::FullTextJob& job, std::atomic<bool>& stop,
                                               const MessageTexts& messages);

} // namespace marovex
