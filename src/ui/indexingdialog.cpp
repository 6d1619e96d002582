#include "ui/indexingdialog.h"

#include "app/language.h"
#include "ui/catalogueservice.h"
#include "ui/indexingjob.h"
#include "ui_indexingdialog.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>

namespace marovex {

IndexingDialog::IndexingDialog(CatalogueService& service, MessagePresenter present, QWidget* parent)
    : QDialog(parent), m_service(service), m_present(std::move(present)),
      ui(std::make_unique<Ui::IndexingDialog>()) {
    ui->setupUi(this);
    // The form's controls by their roles (the form names them as the language files do).
    m_archiveField = ui->FlatEdit1;
    m_statusLine = ui->FlatEdit2;
    m_startButton = ui->FlatButton1;
    m_stopButton = ui->FlatButton2;
    m_closeButton = ui->FlatButton3;
    m_runChoice = ui->FlatGroupBox1;
    m_fullRun = ui->FlatRadioButton1;
    m_newIssuesOnly = ui->FlatRadioButton2;
    m_settingsButton = ui->FlatSpeedButton1;
    setObjectName(QStringLiteral("Form_Process"));
    // The read-only fields: the folder on white, the status line on the dialog's colour.
    QPalette folder = m_archiveField->palette();
    folder.setColor(QPalette::Disabled, QPalette::Base, Qt::white);
    folder.setColor(QPalette::Disabled, QPalette::Text, folder.color(QPalette::Active, QPalette::Text));
    m_archiveField->setPalette(folder);
    QPalette status = m_statusLine->palette();
    status.setColor(QPalette::Disabled, QPalette::Base, status.color(QPalette::Active, QPalette::Window));
    status.setColor(QPalette::Disabled, QPalette::Text, status.color(QPalette::Active, QPalette::Text));
    m_statusLine->setPalette(status);

    // The two choices show their keyboard focus with a light border ($FFFBF0 as a Windows colour).
    for (QRadioButton* choice : {m_fullRun, m_newIssuesOnly})
        choice->setStyleSheet(QStringLiteral("QRadioButton:focus { border: 1px solid #F0FBFF; }"));

    connect(m_startButton, &QPushButton::clicked, this, &IndexingDialog::startRun);
    connect(m_stopButton, &QPushButton::clicked, this, &IndexingDialog::stopRun);
    connect(m_closeButton, &QPushButton::clicked, this, &IndexingDialog::closeDialog);
    connect(m_settingsButton, &QToolButton::clicked, this, &IndexingDialog::openSettings);
    applyTexts();
    setFixedSize(sizeHint().expandedTo(QSize(316, 173)));
}

IndexingDialog::~IndexingDialog() = default;

QString IndexingDialog::messageText(int key) const {
    return QString::fromStdString(m_service.session().messages[key]);
}

QString IndexingDialog::messageFor(const Message& message) const {
    return QString::fromStdString(m_service.session().messages.render(message));
}

void IndexingDialog::applyTexts() {
    MainSession& session = m_service.session();
    MessageTexts unused; // the dialog's texts carry no message texts
    applyLanguage(
        language::Target::IndexingDialog, session.appDir(), session.ini.local,
        [this](const TextAssignment& a) {
            const QString name = QString::fromLatin1(a.component.data(), qsizetype(a.component.size()));
            const QString text = QString::fromStdString(a.text);
            if (name == objectName()) {
                setWindowTitle(text);
            } else if (auto* w = findChild<QWidget*>(name)) {
                if (auto* b = qobject_cast<QAbstractButton*>(w))
                    b->setText(text);
                else if (auto* l = qobject_cast<QLabel*>(w))
                    l->setText(text);
                else if (auto* g = qobject_cast<QGroupBox*>(w))
                    g->setTitle(text);
            }
        },
        unused);
    showArchiveFolder();
}

void IndexingDialog::showArchiveFolder() {
    m_archiveField->setText(QString::fromStdString(m_service.session().archiveFolder));
    m_archiveField->setCursorPosition(0);
}

void IndexingDialog::setState(State state) {
    m_state = state;
    const bool idle = state == State::Idle;
    m_runChoice->setEnabled(idle);
    m_startButton->setEnabled(idle);
    m_closeButton->setEnabled(idle);
    m_settingsButton->setEnabled(idle);
    m_stopButton->setEnabled(!idle);
}

void IndexingDialog::startRun() {
    if (isRunning()) return;
    MainSession& session = m_service.session();
    const bool fullRun = m_fullRun->isChecked();
    // A full run empties the catalogue first, favourites and search marks with it, and one that is stopped
    // keeps only the issues read by then: nothing of that happens without the user's yes.
    if (fullRun && !m_present(this, MessageKind::Question, messageText(msg::FullRunQuestion))) return;
    // A full run discards the search marks, so there are no results left to clear.
    if (fullRun) emit fullRunStarting();
    m_statusLine->clear();

    TableLease lease = m_service.leaseTables();
    if (!lease) {
        m_present(nullptr, MessageKind::Information, messageText(msg::WaitForSearch));
        return;
    }
    indexer::IndexSettings settings;
    try {
        if (!session.articles().isOpen()) session.articles().open();
        ArchiveAccess access;
        readAccess(session.appDir(), access);
        settings.archiveFolder = session.archiveFolder;
        settings.enabled = {access.gold, access.release, access.plain};
        settings.prefixes = session.ini.name_kelvra;
    } catch (const std::exception& e) {
        lease.release();
        m_present(nullptr, MessageKind::Error, messageFor(messageOf(e)));
        return;
    }
    m_service.stopFlag() = false;

    auto* job = new IndexingJob(session.articles(), session.topics(), std::move(settings), fullRun,
                                m_service.stopFlag(), this);
    connect(job, &IndexingJob::progress, this, &IndexingDialog::progressReport, Qt::BlockingQueuedConnection);
    connect(job, &IndexingJob::finished, this, &IndexingDialog::completionReport,
            Qt::BlockingQueuedConnection);
    job->start();
    m_lease = std::move(lease);

    setState(State::Running);
    emit statusChanged(1, messageText(language::kIndexingRunningText));
}

void IndexingDialog::stopRun() {
    if (!isRunning()) return;
    m_service.stopFlag() = true;
    m_statusLine->setText(messageText(language::kIndexingStoppingText));
    setState(State::Stopping);
}

void IndexingDialog::closeDialog() {
    close();
}

void IndexingDialog::openSettings() {
    emit settingsRequested();
    // The settings may have named another archive folder.
    showArchiveFolder();
}

void IndexingDialog::reject() {
    // The close box, Escape and Close all end here.
    if (isRunning()) {
        // The run ends at the next issue; its completion report still reaches the window.
        m_service.stopFlag() = true;
        m_statusLine->setText(messageText(language::kIndexingStoppingText));
        setState(State::Stopping);
    }
    QDialog::reject();
    if (!isRunning()) deleteLater();
}

void IndexingDialog::progressReport(const std::string& entryName) {
    const QString name = QString::fromStdString(entryName);
    m_statusLine->setText(name);
    m_statusLine->repaint();
    emit statusChanged(2, name);
}

void IndexingDialog::completionReport(const indexer::IndexResult& result) {
    // The worker has made its last write: the window takes its tables back first.
    m_lease.release();
    emit runEnded();
    // Text 78 carries its own blank; one more stands before the count.
    emit statusChanged(1, messageText(language::kArticleCountText) + QLatin1Char(' ') +
                              QString::number(m_service.session().articles().rowCount()));
    emit statusChanged(2, QString());
    if (!result.completed) {
        // A refused run or one an error ended has not completed, stopped or not.
        m_statusLine->setText(messageText(msg::IndexingFailed));
        m_service.stopFlag() = false;
    } else if (m_service.stopFlag()) {
        m_statusLine->setText(messageText(language::kIndexingStoppedText));
        m_service.stopFlag() = false;
    } else {
        m_statusLine->setText(messageText(language::kIndexingFinishedText));
    }
    setState(State::Idle);
    if (!result.completed) m_present(nullptr, MessageKind::Error, messageFor(result.error));
    emit runCompleted(result);
    if (!isVisible()) deleteLater();
}

} // namespace marovex
