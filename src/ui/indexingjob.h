#pragma once

#include "indexer/indexrun.h"

#include <QObject>

#include <atomic>
#include <memory>
#include <string>

class QThread;

namespace marovex {

// An indexing run on a lowest-priority thread. Its signals are emitted on that thread, once per report:
// receivers connect them with Qt::BlockingQueuedConnection, so the run waits until the window has shown a
// report, never touches a widget, and has made its last write before `finished` reaches the window. The job
// frees itself once its thread has ended.
class IndexingJob final : public QObject {
    Q_OBJECT
public:
    // The tables and the stop flag must outlive the run.
    IndexingJob(RecordTable& articles, RecordTable& topics, indexer::IndexSettings settings, bool fullRun,
                const std::atomic<bool>& stop, QObject* parent = nullptr);
    ~IndexingJob() override;

    // Starts the run; connect the signals first.
    void start();

signals:
    // An issue folder is being read (its name in upper case).
    void progress(const std::string& entryName);
    // The last report, made in every case, also after an error.
    void finished(const marovex::indexer::IndexResult& result);

private:
    void run();

    RecordTable& m_articles;
    RecordTable& m_topics;
    indexer::IndexSettings m_settings;
    bool m_fullRun;
    const std::atomic<bool>& m_stop;
    std::unique_ptr<QThread> m_thread;
};

} // namespace marovex
