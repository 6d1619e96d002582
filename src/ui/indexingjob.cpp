#include "ui/indexingjob.h"

#include <QThread>

namespace marovex {

IndexingJob::IndexingJob(RecordTable& articles, RecordTable& topics, indexer::IndexSettings settings,
                         bool fullRun, const std::atomic<bool>& stop, QObject* parent)
    : QObject(parent), m_articles(articles), m_topics(topics), m_settings(std::move(settings)),
      m_fullRun(fullRun), m_stop(stop), m_thread(QThread::create([this] { run(); })) {
    connect(m_thread.get(), &QThread::finished, this, &QObject::deleteLater);
}

IndexingJob::~IndexingJob() {
    // Only ever reached after the last report (the window waits for it), so the thread is leaving.
    m_thread->wait();
}

void IndexingJob::start() {
    m_thread->start(QThread::LowestPriority);
}

void IndexingJob::run() {
    indexer::IndexResult result;
    try {
        indexer::IndexReports reports;
        reports.progress = [this](const std::string& name) { emit progress(name); };
        result = indexer::runIndexing(m_articles, m_topics, m_settings, m_fullRun, m_stop, reports);
    } catch (const std::exception& e) {
        result.completed = false;
        result.error = messageOf(e);
    }
    // Made in every case, also after an error: it hands the tables back to the window.
    emit finished(result);
}

} // namespace marovex
