#include "ui/searchprogressdialog.h"

#include "app/language.h"
#include "ui/placement.h"
#include "ui/qtconvert.h"
#include "ui/searchjob.h"
#include "ui_searchprogressdialog.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace marovex {

namespace {
constexpr int kRefreshMs = 30;
}

SearchProgressDialog::SearchProgressDialog(QWidget* parent, std::atomic<bool>& stop,
                                           const MessageTexts& messages)
    : QDialog(parent), ui(std::make_unique<Ui::SearchProgressDialog>()), m_state(stop),
      m_issueText(messages[language::kIssueText]), m_hitsText(messages[language::kHitsSoFarText]) {
    ui->setupUi(this);
    // The form's controls by their roles (the form names them as the language files do).
    m_hitsLine = ui->FlatEdit1;
    m_issueLine = ui->FlatEdit2;
    m_cancelButton = ui->FlatButton1;
    m_progressBar = ui->FlatProgressBar1;
    setWindowTitle(QString::fromStdString(messages[msg::TextSearchCaption]));
    m_cancelButton->setText(QString::fromStdString(messages[msg::TextSearchCancel]));
    m_hitsLine->setText(QString::fromStdString(search::findHitsLine(m_hitsText, 0)));
    // Only a close box, and no resizing.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    // The read-only fields are disabled but must stay readable.
    for (QWidget* field : {static_cast<QWidget*>(m_hitsLine), static_cast<QWidget*>(m_issueLine)}) {
        QPalette p = field->palette();
        p.setColor(QPalette::Disabled, QPalette::Base, p.color(QPalette::Active, QPalette::Window));
        p.setColor(QPalette::Disabled, QPalette::Text, p.color(QPalette::Active, QPalette::Text));
        field->setPalette(p);
    }
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    connect(m_cancelButton, &QPushButton::clicked, this, &SearchProgressDialog::cancel);
    m_refresh.setSingleShot(true);
    connect(&m_refresh, &QTimer::timeout, this, &SearchProgressDialog::showPending);
}

SearchProgressDialog::~SearchProgressDialog() = default;

void SearchProgressDialog::setRowCount(int rows) {
    // An empty range would turn the bar into a busy indicator.
    m_progressBar->setRange(0, std::max(rows, 1));
    m_progressBar->setValue(1);
}

void SearchProgressDialog::showProgress(const search::FindProgress& progress) {
    m_pending = progress;
    m_hasPending = true;
    emit progressReported(progress);
    if (!m_lastShown.isValid() || m_lastShown.elapsed() >= kRefreshMs)
        showPending();
    else if (!m_refresh.isActive())
        m_refresh.start(int(kRefreshMs - m_lastShown.elapsed()));
}

void SearchProgressDialog::showPending() {
    if (!m_hasPending) return;
    m_hasPending = false;
    m_refresh.stop();
    m_issueLine->setText(QString::fromStdString(search::findIssueLine(m_issueText, m_pending.number)));
    // The bar stands at 1 before the walk and advances once per row, never past its end.
    m_progressBar->setValue(std::min(m_pending.row + 2, m_progressBar->maximum()));
    m_hitsLine->setText(QString::fromStdString(search::findHitsLine(m_hitsText, m_pending.hits)));
    m_lastShown.start();
}

void SearchProgressDialog::finishSearch() {
    showPending();
    m_state.finish();
    close();
}

void SearchProgressDialog::cancel() {
    m_state.cancel();
}

bool SearchProgressDialog::mayClose() {
    return m_state.mayClose();
}

void SearchProgressDialog::closeEvent(QCloseEvent* event) {
    if (!mayClose()) {
        event->ignore();
        return;
    }
    event->accept();
    done(QDialog::Rejected);
}

void SearchProgressDialog::reject() {
    // Escape is one more way of asking to close.
    close();
}

search::FullTextResult runFullTextWithProgress(QWidget* parent, RecordTable& articles,
                                               const search::FullTextJob& job, std::atomic<bool>& stop,
                                               const MessageTexts& messages) {
    SearchProgressDialog dialog(parent, stop, messages);
    dialog.setRowCount(articles.rowCount());
    SearchJob walk(articles, job, stop);
    QObject::connect(&walk, &SearchJob::progress, &dialog, &SearchProgressDialog::showProgress,
                     Qt::BlockingQueuedConnection);
    QObject::connect(&walk, &SearchJob::finished, &dialog, &SearchProgressDialog::finishSearch,
                     Qt::BlockingQueuedConnection);
    walk.start();
    centreOnScreen(dialog);
    dialog.exec();
    // Normally the finish report has ended the dialog and the walk is leaving. Should the dialog's loop
    // have been ended by anything else, the walk is stopped and its reports served until it has gone:
    // it must never be left waiting on a dialog that no longer runs.
    if (!dialog.finished()) stop.store(true);
    walk.waitUntilEnded();
    return walk.result();
}

} // namespace marovex
