#include "ui/formfind.h"

#include "app/language.h"
#include "ui/findworker.h"
#include "ui/placement.h"
#include "ui/qtconvert.h"
#include "ui_formfind.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace marovex {

namespace {
constexpr int kRefreshMs = 30;
}

TForm_find::TForm_find(QWidget* parent, std::atomic<bool>& stop, std::string text14, std::string text74)
    : QDialog(parent), ui(std::make_unique<Ui::TForm_find>()), m_state(stop), m_text14(std::move(text14)),
      m_text74(std::move(text74)) {
    ui->setupUi(this);
    // Only a close box, and no resizing.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    // The read-only fields are disabled but must stay readable.
    for (QWidget* field : {static_cast<QWidget*>(ui->FlatEdit1), static_cast<QWidget*>(ui->FlatEdit2)}) {
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
    connect(ui->FlatButton1, &QPushButton::clicked, this, &TForm_find::FlatButton1Click);
    m_refresh.setSingleShot(true);
    connect(&m_refresh, &QTimer::timeout, this, &TForm_find::showPending);
}

TForm_find::~TForm_find() = default;

void TForm_find::setRowCount(int rows) {
    // An empty range would turn the bar into a busy indicator.
    ui->FlatProgressBar1->setRange(0, std::max(rows, 1));
    ui->FlatProgressBar1->setValue(1);
}

void TForm_find::ShowFindProgress(const search::FindProgress& progress) {
    m_pending = progress;
    m_hasPending = true;
    emit progressReported(progress);
    if (!m_lastShown.isValid() || m_lastShown.elapsed() >= kRefreshMs)
        showPending();
    else if (!m_refresh.isActive())
        m_refresh.start(int(kRefreshMs - m_lastShown.elapsed()));
}

void TForm_find::showPending() {
    if (!m_hasPending) return;
    m_hasPending = false;
    m_refresh.stop();
    ui->FlatEdit2->setText(qtconvert::fromCp1251(search::FindIssueLine(m_text14, m_pending.number)));
    // The bar stands at 1 before the walk and advances once per row, never past its end.
    ui->FlatProgressBar1->setValue(std::min(m_pending.row + 2, ui->FlatProgressBar1->maximum()));
    ui->FlatEdit1->setText(qtconvert::fromCp1251(search::FindHitsLine(m_text74, m_pending.hits)));
    m_lastShown.start();
}

void TForm_find::FinishFind() {
    showPending();
    m_state.finish();
    close();
}

void TForm_find::FlatButton1Click() {
    m_state.cancel();
}

bool TForm_find::FormClose() {
    return m_state.mayClose();
}

void TForm_find::closeEvent(QCloseEvent* event) {
    if (!FormClose()) {
        event->ignore();
        return;
    }
    event->accept();
    done(QDialog::Rejected);
}

void TForm_find::reject() {
    // Escape is one more way of asking to close.
    close();
}

search::FullTextResult RunFullTextWithProgress(QWidget* parent, RecordTable& articles,
                                               const search::FullTextJob& job, std::atomic<bool>& stop,
                                               const MessageTexts& messages) {
    TForm_find dialog(parent, stop, messages[14], messages[74]);
    dialog.setRowCount(articles.rowCount());
    TTheread_Find worker(articles, job, stop, &dialog,
                         {[&dialog](const search::FindProgress& p) { dialog.ShowFindProgress(p); },
                          [&dialog] { dialog.FinishFind(); }});
    worker.Start();
    CentreOnScreen(dialog);
    dialog.exec();
    // Normally the finish report has ended the dialog and the worker is leaving. Should the dialog's loop
    // have been ended by anything else, the worker is stopped and its reports served until it has gone:
    // it must never be left waiting on a dialog that no longer runs.
    if (!dialog.finished()) stop.store(true);
    while (!worker.wait(QDeadlineTimer(20)))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return worker.result();
}

} // namespace marovex
