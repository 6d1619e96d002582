#include "ui/searchworker.h"

namespace marovex {

SearchWorker::SearchWorker(RecordTable& articles, search::FullTextJob job, std::atomic<bool>& stop,
                           QObject* receiver, Reports reports)
    : m_articles(articles), m_job(std::move(job)), m_stop(stop), m_receiver(receiver),
      m_reports(std::move(reports)) {}

SearchWorker::~SearchWorker() {
    wait();
}

void SearchWorker::onReceiverThread(const std::function<void()>& call) {
    QMetaObject::invokeMethod(m_receiver, call, Qt::BlockingQueuedConnection);
}

void SearchWorker::run() {
    bool finished = false;
    search::FullTextReports reports;
    if (m_reports.progress)
        reports.progress = [this](const search::FindProgress& p) {
            onReceiverThread([this, &p] { m_reports.progress(p); });
        };
    reports.finish = [this, &finished] {
        finished = true;
        if (m_reports.finish)
            onReceiverThread(m_reports.finish);
        else
            m_stop.store(false);
    };
    try {
        m_result = search::RunFullTextSearch(m_articles, m_job, m_stop, reports);
    } catch (const std::exception& e) {
        // The walk itself never raises; a report that did must still not leave the dialog waiting forever.
        m_result.error = MessageOf(e);
    }
    if (!finished) reports.finish();
}

} // namespace marovex
