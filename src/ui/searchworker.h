#pragma once

#include "search/fulltext.h"

#include <QThread>

#include <atomic>
#include <functional>

namespace marovex {

// The full-text search worker: walks the article table on its own thread. Its reports are carried out on
// the receiver's (user-interface) thread while the worker waits, so the worker never touches a widget and
// the table is handed back only after its last write.
class SearchWorker final : public QThread {
    Q_OBJECT
public:
    struct Reports {
        std::function<void(const search::FindProgress& progress)> progress; // `showProgress`
        std::function<void()> finish;                                       // `finishSearch`
    };

    // The table, the stop flag and the receiver must outlive the run; the receiver's thread must keep
    // processing events until the finish report has been made.
    SearchWorker(RecordTable& articles, search::FullTextJob job, std::atomic<bool>& stop, QObject* receiver,
                 Reports reports);
    ~SearchWorker() override;

    // Starts the walk at the lowest thread priority.
    void Start() { start(QThread::LowestPriority); }
    // Valid once the thread has ended.
    const search::FullTextResult& result() const { return m_result; }

protected:
    void run() override;

private:
    void onReceiverThread(const std::function<void()>& call);

    RecordTable& m_articles;
    search::FullTextJob m_job;
    std::atomic<bool>& m_stop;
    QObject* m_receiver;
    Reports m_reports;
    search::FullTextResult m_result;
};

} // namespace marovex
