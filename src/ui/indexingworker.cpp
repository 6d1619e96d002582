#include "ui/indexingworker.h"

namespace marovex {

IndexingWorker::IndexingWorker(RecordTable& articles, RecordTable& topics, indexer::IndexSettings settings,
                               bool fullRun, const std::atomic<bool>& stop, QObject* receiver,
                               Reports reports)
    : m_articles(articles), m_topics(topics), m_settings(std::move(settings)), m_fullRun(fullRun),
      m_stop(stop), m_receiver(receiver), m_reports(std::move(reports)) {}

IndexingWorker* IndexingWorker::Start(RecordTable& articles, RecordTable& topics,
                                      indexer::IndexSettings settings, bool fullRun,
                                      const std::atomic<bool>& stop, QObject* receiver, Reports reports) {
    auto* worker = new IndexingWorker(articles, topics, std::move(settings), fullRun, stop, receiver,
                                      std::move(reports));
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start(QThread::LowestPriority);
    return worker;
}

void IndexingWorker::onReceiverThread(const std::function<void()>& call) {
    if (!call) return;
    QMetaObject::invokeMethod(m_receiver, call, Qt::BlockingQueuedConnection);
}

void IndexingWorker::run() {
    indexer::IndexResult result;
    try {
        indexer::IndexReports reports;
        reports.progress = [this](const std::string& name) {
            if (m_reports.progress) onReceiverThread([this, &name] { m_reports.progress(name); });
        };
        result = indexer::RunIndexing(m_articles, m_topics, m_settings, m_fullRun, m_stop, reports);
    } catch (const std::exception& e) {
        result.completed = false;
        result.error = MessageOf(e);
    }
    // Made in every case, also after an error: it hands the tables back to the window.
    if (m_reports.completion) onReceiverThread([this, &result] { m_reports.completion(result); });
}

} // namespace marovex
