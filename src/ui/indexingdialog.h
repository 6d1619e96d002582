#pragma once

#include "indexer/indexrun.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TForm_Process;
}

namespace marovex {

class TForm1;

// The indexing dialog: starts a run for new issues or a full run on the indexing worker, shows its
// progress and stops it. Closing the dialog during a run stops the run; the dialog then stays alive,
// hidden, until the run's completion report has been made, and goes away afterwards.
class TForm_Process final : public QDialog {
    Q_OBJECT
public:
    enum class State { Idle, Running, Stopping };

    explicit TForm_Process(TForm1& form);
    ~TForm_Process() override;

    State state() const { return m_state; }
    bool isRunning() const { return m_state != State::Idle; }

public slots:
    void Button1Click(); // Run
    void Button2Click(); // Stop
    void Button3Click(); // Close
    void FlatSpeedButton1Click();

signals:
    // The completion report has been carried out.
    void runCompleted(const marovex::indexer::IndexResult& result);

protected:
    void reject() override;

private:
    void FormCreate();
    void progressReport(const std::string& entryName);
    void completionReport(const indexer::IndexResult& result);
    void setState(State state);
    void showArchiveFolder();

    TForm1& m_form;
    std::unique_ptr<Ui::TForm_Process> ui;
    State m_state = State::Idle;
};

} // namespace marovex
