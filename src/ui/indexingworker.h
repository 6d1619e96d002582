#pragma once

#include "indexer/indexrun.h"

#include <QThread>

#include <atomic>
#include <functional>
#include <string>

namespace marovex {

// The indexing worker: runs an indexing run on a lowest-priority thread and frees itself when it ends.
// Its reports are carried out on the receiver's (user-interface) thread while the worker waits, so the
// worker never touches a widget and the tables are handed back only after its last write.
class IndexingWorker final : public QThread {
    Q_OBJECT
public:
    struct Reports {
        std::function<void(const std::string& entryName)> progress; // Windows-1251 upper-case name
        std::function<void(const indexer::IndexResult& result)> completion;
    };

    // Creates the worker running. The tables, the stop flag and the receiver must outlive the run; the
    // receiver's thread must keep processing events until the completion report has been made.
    static IndexingWorker* Start(RecordTable& articles, RecordTable& topics, indexer::IndexSettings settings,
                                 bool fullRun, const std::atomic<bool>& stop, QObject* receiver,
                                 Reports reports);

protected:
    void run() override;

private:
    IndexingWorker(RecordTable& articles, RecordTable& topics, indexer::IndexSettings settings, bool fullRun,
                   const std::atomic<bool>& stop, QObject* receiver, Reports reports);
    void onReceiverThread(const std::function<void()>& call);

    RecordTable& m_articles;
    RecordTable& m_topics;
    indexer::IndexSettings m_settings;
    bool m_fullRun;
    const std::atomic<bool>& m_stop;
    QObject* m_receiver;
    Reports m_reports;
};

} // namespace marovex
