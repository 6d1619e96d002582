#include "ui/searchjob.h"

#include <QEventLoop>
#include <QMetaMethod>
#include <QThread>

namespace marovex {

SearchJob::SearchJob(RecordTable& articles, search::FullTextJob job, std::atomic<bool>& stop, QObject* parent)
    : QObject(parent), m_articles(articles), m_job(std::move(job)), m_stop(stop),
      m_thread(QThread::create([this] { run(); })) {}

SearchJob::~SearchJob() {
    m_thread->wait();
}

void SearchJob::start() {
    m_reportProgress = isSignalConnected(QMetaMethod::fromSignal(&SearchJob::progress));
    m_reportFinish = isSignalConnected(QMetaMethod::fromSignal(&SearchJob::finished));
    m_thread->start(QThread::LowestPriority);
}

void SearchJob::waitUntilEnded() {
    QEventLoop untilEnded;
    connect(m_thread.get(), &QThread::finished, &untilEnded, &QEventLoop::quit);
    if (!m_thread->isFinished()) untilEnded.exec();
    m_thread->wait();
}

void SearchJob::run() {
    bool finishReported = false;
    search::FullTextReports reports;
    if (m_reportProgress) reports.progress = [this](const search::FindProgress& p) { emit progress(p); };
    reports.finish = [this, &finishReported] {
        finishReported = true;
        if (m_reportFinish)
            emit finished();
        else
            m_stop.store(false);
    };
    try {
        m_result = search::runFullTextSearch(m_articles, m_job, m_stop, reports);
    } catch (const std::exception& e) {
        // The walk itself never raises; a report that did must still not leave the dialog waiting forever.
        m_result.error = messageOf(e);
    }
    if (!finishReported) reports.finish();
}

} // namespace marovex
