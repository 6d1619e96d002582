#include "ui/indexingdialog.h"

#include "app/language.h"
#include "base/cp1251.h"
#include "ui/form1.h"
#include "ui/indexworker.h"
#include "ui_indexingdialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QStatusBar>

namespace marovex {

namespace {
QString fromCp1251(std::string_view bytes) {
    return QString::fromStdString(cp1251::toUtf8(bytes));
}
} // namespace

TForm_Process::TForm_Process(TForm1& form)
    : QDialog(&form), m_form(form), ui(std::make_unique<Ui::TForm_Process>()) {
    ui->setupUi(this);
    setObjectName(QStringLiteral("Form_Process"));
    // The read-only fields: the folder on white, the status line on the dialog's colour.
    QPalette folder = ui->FlatEdit1->palette();
    folder.setColor(QPalette::Disabled, QPalette::Base, Qt::white);
    folder.setColor(QPalette::Disabled, QPalette::Text, folder.color(QPalette::Active, QPalette::Text));
    ui->FlatEdit1->setPalette(folder);
    QPalette status = ui->FlatEdit2->palette();
    status.setColor(QPalette::Disabled, QPalette::Base, status.color(QPalette::Active, QPalette::Window));
    status.setColor(QPalette::Disabled, QPalette::Text, status.color(QPalette::Active, QPalette::Text));
    ui->FlatEdit2->setPalette(status);

    // The two choices show their keyboard focus with a light border ($FFFBF0 as a Windows colour).
    for (QRadioButton* choice : {ui->FlatRadioButton1, ui->FlatRadioButton2})
        choice->setStyleSheet(QStringLiteral("QRadioButton:focus { border: 1px solid #F0FBFF; }"));

    connect(ui->FlatButton1, &QPushButton::clicked, this, &TForm_Process::Button1Click);
    connect(ui->FlatButton2, &QPushButton::clicked, this, &TForm_Process::Button2Click);
    connect(ui->FlatButton3, &QPushButton::clicked, this, &TForm_Process::Button3Click);
    connect(ui->FlatSpeedButton1, &QToolButton::clicked, this, &TForm_Process::FlatSpeedButton1Click);
    FormCreate();
    setFixedSize(sizeHint().expandedTo(QSize(316, 173)));
}

TForm_Process::~TForm_Process() = default;

void TForm_Process::FormCreate() {
    MainSession& session = m_form.session();
    MessageTexts unused; // the dialog's texts carry no message texts
    ApplyLanguage(
        language::kTargetIndexingDialog, session.appDir(), session.ini.local,
        [this](const TextAssignment& a) {
            const QString name = QString::fromLatin1(a.component.data(), qsizetype(a.component.size()));
            const QString text = fromCp1251(a.text);
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

void TForm_Process::showArchiveFolder() {
    ui->FlatEdit1->setText(fromCp1251(m_form.session().archiveFolder));
    ui->FlatEdit1->setCursorPosition(0);
}

void TForm_Process::setState(State state) {
    m_state = state;
    const bool idle = state == State::Idle;
    ui->FlatGroupBox1->setEnabled(idle);
    ui->FlatButton1->setEnabled(idle);
    ui->FlatButton3->setEnabled(idle);
    ui->FlatSpeedButton1->setEnabled(idle);
    ui->FlatButton2->setEnabled(!idle);
}

void TForm_Process::Button1Click() {
    if (isRunning()) return;
    MainSession& session = m_form.session();
    const bool fullRun = ui->FlatRadioButton1->isChecked();
    // A full run discards the search marks, so there are no results left to clear.
    if (fullRun) m_form.setSearchResultsEndEnabled(false);
    ui->FlatEdit2->clear();

    if (!m_form.beginWorker()) {
        m_form.showInformationMessage(m_form.messageText(msg::WaitForSearch));
        return;
    }
    indexer::IndexSettings settings;
    try {
        if (!session.articles().isOpen()) session.articles().open();
        ArchiveAccess access;
        ReadAccess(session.appDir(), access);
        settings.archiveFolder = session.archiveFolder;
        settings.enabled = {access.gold, access.release, access.plain};
        settings.prefixes = session.ini.name_kelvra;
    } catch (const std::exception& e) {
        m_form.endWorker();
        m_form.showErrorMessage(m_form.messageFor(MessageOf(e)));
        return;
    }
    m_form.stopFlag() = false;

    TTheread_Index::Reports reports;
    reports.progress = [this](const std::string& name) { progressReport(name); };
    reports.completion = [this](const indexer::IndexResult& result) { completionReport(result); };
    TTheread_Index::Start(session.articles(), session.topics(), std::move(settings), fullRun,
                          m_form.stopFlag(), this, std::move(reports));

    setState(State::Running);
    m_form.setStatusText(1, m_form.messageText(81));
}

void TForm_Process::Button2Click() {
    if (!isRunning()) return;
    m_form.stopFlag() = true;
    ui->FlatEdit2->setText(m_form.messageText(82));
    setState(State::Stopping);
}

void TForm_Process::Button3Click() {
    close();
}

void TForm_Process::FlatSpeedButton1Click() {
    if (auto* command = m_form.findChild<QAction*>(QStringLiteral("SetProperties"))) command->trigger();
    // The settings may have named another archive folder.
    showArchiveFolder();
}

void TForm_Process::reject() {
    // The close box, Escape and Close all end here.
    if (isRunning()) {
        // The run ends at the next issue; its completion report still reaches the window.
        m_form.stopFlag() = true;
        ui->FlatEdit2->setText(m_form.messageText(82));
        setState(State::Stopping);
    }
    QDialog::reject();
    if (!isRunning()) deleteLater();
}

void TForm_Process::progressReport(const std::string& entryName) {
    const QString name = fromCp1251(entryName);
    ui->FlatEdit2->setText(name);
    ui->FlatEdit2->repaint();
    m_form.setStatusText(2, name);
    if (QStatusBar* bar = m_form.statusBar()) bar->repaint();
}

void TForm_Process::completionReport(const indexer::IndexResult& result) {
    m_form.reattachGrids();
    m_form.setSortColumn(QStringLiteral("Type"));
    // Text 78 carries its own blank; one more stands before the count.
    m_form.setStatusText(1, m_form.messageText(78) + QLatin1Char(' ') +
                                QString::number(m_form.session().articles().rowCount()));
    m_form.setStatusText(2, QString());
    if (!result.completed) {
        // A refused run or one an error ended has not completed, stopped or not.
        ui->FlatEdit2->setText(m_form.messageText(msg::IndexingFailed));
        m_form.stopFlag() = false;
    } else if (m_form.stopFlag()) {
        ui->FlatEdit2->setText(m_form.messageText(79));
        m_form.stopFlag() = false;
    } else {
        ui->FlatEdit2->setText(m_form.messageText(80));
    }
    setState(State::Idle);
    m_form.endWorker();
    if (!result.completed) m_form.showErrorMessage(m_form.messageFor(result.error));
    emit runCompleted(result);
    if (!isVisible()) deleteLater();
}

} // namespace marovex
