#pragma once

#include "search/fulltext.h"

#include <QObject>

#include <atomic>
#include <memory>

class QThread;

namespace marovex {

// A full-text search walking the article table on its own lowest-priority thread. Its signals are
// emitted on that thread, once per report: receivers connect them with Qt::BlockingQueuedConnection, so
// the walk waits until the dialog has shown a report, never touches a widget, and hands the table back
// only after its last write.
class SearchJob final : public QObject {
    Q_OBJECT
public:
    // The table and the stop flag must outlive the job.
    SearchJob(RecordTable& articles, search::FullTextJob job, std::atomic<bool>& stop,
              QObject* parent = nullptr);
    // Waits for the thread: serve its reports first (`waitUntilEnded`).
    ~SearchJob() override;

    // Starts the walk; connect the signals first.
    void start();
    // Serves the walk's reports on this thread until its thread has ended.
    void waitUntilEnded();
    // Valid once the thread has ended.
    const search::FullTextResult& result() const { return m_result; }

signals:
    // Before each row is examined.
    void progress(const marovex::search::FindProgress& progress);
    // The walk's last step, also after an error. Unconnected, the walk puts the stop flag back itself.
    void finished();

private:
    void run();

    RecordTable& m_articles;
    search::FullTextJob m_job;
    std::atomic<bool>& m_stop;
    search::FullTextResult m_result;
    // Which reports have a receiver, decided when the walk starts.
    bool m_reportProgress = false;
    bool m_reportFinish = false;
    std::unique_ptr<QThread> m_thread;
};

} // namespace marovex
