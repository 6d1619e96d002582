#include "archivegen/archivegen.h"
#include "catalogue/catalogue.h"
#include "support/testsupport.h"
#include "support/uisupport.h"
#include "ui/indexingdialog.h"
#include "ui/articlegrid.h"
#include "ui/mainwindow.h"
#include "ui/statusbar.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace marovex;
using marovex::test::TempDir;

Q_DECLARE_METATYPE(marovex::indexer::IndexResult)

namespace {

struct Shown {
    MainWindow::MessageKind kind;
    QString text;
};

// An application folder with an empty catalogue, English texts and a generated archive of `issues` issues.
struct Setup {
    TempDir dir;
    std::filesystem::path archive;
    int issues = 0;

    explicit Setup(int issueCount, bool withFoundRow = false) {
        archive = dir / "archive";
        gen::GenOptions options;
        options.out = archive;
        options.seed = 3;
        options.issues = issueCount;
        options.articlesPerIssue = 4;
        options.contentsOnly = true;
        gen::GenerateArchive(options);
        issues = issueCount;
        const auto app = dir / "app";
        std::filesystem::create_directories(app / "Locale");
        std::filesystem::copy_file(std::filesystem::path(MAROVEX_SOURCE_DIR) / "resources/Locale/eng.lng",
                                   app / "Locale" / "eng.lng");
        catalogue::createEmptyCatalogue(app, true);
        if (withFoundRow) {
            RecordTable t;
            catalogue::openArticleTable(t, app / "mvx.dat", {});
            t.append();
            t.setInt("Type", 9);
            t.setText("Number", "  1");
            t.setInt("Find", -1);
            t.post();
            t.close();
        }
        test::writeFile(app / "mvx.ini", "[options]\r\ndbdir=" + archive.string() +
                                             "\r\nkelvra GOLD=1\r\nkelvra Release=1\r\nkelvra=1\r\n"
                                             "[interface]\r\nlocal=eng.lng\r\nselect_browser=2\r\n");
    }
    std::filesystem::path app() const { return dir / "app"; }
};

template <typename T> T* child(QObject* parent, const char* name) {
    auto* w = parent->findChild<T*>(QString::fromLatin1(name));
    if (!w) qFatal("no %s", name);
    return w;
}

IndexingDialog* openDialog(MainWindow& form) {
    form.findChild<QAction*>(QStringLiteral("ElMenuItem7"))->trigger();
    return form.findChild<IndexingDialog*>();
}

indexer::IndexResult waitForCompletion(QSignalSpy& spy) {
    if (!spy.wait(60000) && spy.isEmpty()) qFatal("the run did not complete");
    return spy.takeFirst().first().value<indexer::IndexResult>();
}

} // namespace

class IndexingDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<indexer::IndexResult>(); }

    void tableLease_isHeldByOneAtATimeAndItsEndGivesTheTablesBack() {
        Setup s(1, /*withFoundRow*/ true);
        MainWindow form(s.app(), [](QWidget*, MainWindow::MessageKind, const QString&) {});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* grid = form.findChild<QTableView*>(QStringLiteral("DBGridEh_MVX2"));
        auto* lastRow = form.findChild<QAction*>(QStringLiteral("Go_Last"));
        QCOMPARE(grid->model()->rowCount(), 1);
        {
            TableLease held = form.service().leaseTables();
            QVERIFY(held);
            QVERIFY(!form.service().leaseTables()); // refused while lent, and the refusal gives nothing back
            // Handing the lease on keeps the tables lent.
            TableLease moved = std::move(held);
            QVERIFY(!held);
            held = std::move(moved);
            QVERIFY(held && !moved);
            QVERIFY(form.workerRunning());
            QCOMPARE(grid->model()->rowCount(), 0);
            QVERIFY(!lastRow->isEnabled());
            // A close asked for while the tables are lent waits for the lease's end.
            form.close();
            QVERIFY(form.isVisible());
        }
        QVERIFY(!form.workerRunning());
        QCOMPARE(grid->model()->rowCount(), 1);
        QVERIFY(lastRow->isEnabled());
        QTRY_VERIFY(!form.isVisible());
    }

    void wholeRun_reportsProgressAndGivesTheTablesBack() {
        Setup s(5);
        MainWindow form(s.app(), [](QWidget*, MainWindow::MessageKind, const QString&) {});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        IndexingDialog* dialog = openDialog(form);
        QVERIFY(dialog && dialog->isVisible() && dialog->isModal());
        QCOMPARE(child<QLineEdit>(dialog, "FlatEdit1")->text(), QString::fromStdString(s.archive.string()));
        QVERIFY(child<QRadioButton>(dialog, "FlatRadioButton2")->isChecked());
        QVERIFY(!child<QPushButton>(dialog, "FlatButton2")->isEnabled());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Archive indexing"));

        auto* grid = form.findChild<QTableView*>(QStringLiteral("DBGridEh_MVX2"));
        QStringList progress;
        bool gridDetached = true;
        connect(child<QLineEdit>(dialog, "FlatEdit2"), &QLineEdit::textChanged, this,
                [&](const QString& text) {
                    if (text.isEmpty() || text == QStringLiteral("Indexing finished")) return;
                    progress << text;
                    gridDetached = gridDetached && grid->model()->rowCount() == 0;
                    QCOMPARE(form.statusPanels()->text(1), QStringLiteral("Indexing in progress…"));
                });
        QSignalSpy done(dialog, &IndexingDialog::runCompleted);
        child<QPushButton>(dialog, "FlatButton1")->click();
        QVERIFY(!child<QPushButton>(dialog, "FlatButton1")->isEnabled());
        QVERIFY(!child<QPushButton>(dialog, "FlatButton3")->isEnabled());
        QVERIFY(!child<QToolButton>(dialog, "FlatSpeedButton1")->isEnabled());
        QVERIFY(child<QPushButton>(dialog, "FlatButton2")->isEnabled());
        const indexer::IndexResult result = waitForCompletion(done);

        QVERIFY2(result.completed, result.error.english().c_str());
        QCOMPARE(progress.size(), result.issues);
        QVERIFY(result.issues >= 1);
        for (const QString& name : progress)
            QCOMPARE(name, name.toUpper());
        QVERIFY(gridDetached);
        const int rows = form.session().articles().rowCount();
        QVERIFY(rows > 0);
        QCOMPARE(grid->model()->rowCount(), rows);
        QCOMPARE(form.statusPanels()->text(1), QStringLiteral("Total articles:  %1").arg(rows));
        QCOMPARE(form.statusPanels()->text(2), QString());
        QCOMPARE(child<QLineEdit>(dialog, "FlatEdit2")->text(), QStringLiteral("Indexing finished"));
        QVERIFY(child<QPushButton>(dialog, "FlatButton1")->isEnabled());
        QVERIFY(!child<QPushButton>(dialog, "FlatButton2")->isEnabled());
        QVERIFY(!form.stopFlag());
        QCOMPARE(form.articleGrid()->sortColumn(), QStringLiteral("Type"));
        QVERIFY(!form.workerRunning());

        // The settings button opens the window's settings; the folder chosen there shows on return.
        const QString elsewhere = QString::fromStdString((s.dir / "elsewhere").string());
        bool confirmed = false;
        QTimer::singleShot(0, this, [&] {
            QWidget* settings = QApplication::activeModalWidget();
            if (!settings || settings->objectName() != QStringLiteral("Form_Properties")) return;
            child<QLineEdit>(settings, "FlatEdit9")->setText(elsewhere);
            child<QPushButton>(settings, "FlatButton3")->click();
            confirmed = true;
        });
        auto* settingsButton = child<QToolButton>(dialog, "FlatSpeedButton1");
        test::clickAt(settingsButton, settingsButton->rect().center());
        QVERIFY(confirmed);
        QCOMPARE(child<QLineEdit>(dialog, "FlatEdit1")->text(), elsewhere);
    }

    void stop_takesEffectAtTheNextIssueAndIsClearedAfterwards() {
        Setup s(6);
        MainWindow form(s.app(), [](QWidget*, MainWindow::MessageKind, const QString&) {});
        IndexingDialog* dialog = openDialog(form);
        auto* status = child<QLineEdit>(dialog, "FlatEdit2");
        QString shownOnStop;
        connect(status, &QLineEdit::textChanged, this, [&](const QString& text) {
            // The first progress report: the worker waits for it, so Stop lands before the next issue.
            if (!text.isEmpty() && dialog->state() == IndexingDialog::State::Running) {
                child<QPushButton>(dialog, "FlatButton2")->click();
                shownOnStop = status->text();
            }
        });
        QSignalSpy done(dialog, &IndexingDialog::runCompleted);
        child<QPushButton>(dialog, "FlatButton1")->click();
        const indexer::IndexResult stopped = waitForCompletion(done);
        QVERIFY(stopped.completed && stopped.stopped);
        QCOMPARE(stopped.issues, 1);
        QCOMPARE(shownOnStop, QStringLiteral("Stopping…"));
        QCOMPARE(status->text(), QStringLiteral("Indexing stopped"));
        QVERIFY(!form.stopFlag());
        const int afterStop = form.session().articles().rowCount();
        QVERIFY(afterStop > 0);
        QCOMPARE(form.statusPanels()->text(1), QStringLiteral("Total articles:  %1").arg(afterStop));

        // The next run is not stopped by the old flag and reads the remaining issues.
        disconnect(status, nullptr, this, nullptr);
        child<QPushButton>(dialog, "FlatButton1")->click();
        const indexer::IndexResult rest = waitForCompletion(done);
        QVERIFY(rest.completed && !rest.stopped);
        QVERIFY(rest.issues >= 1);
        QCOMPARE(status->text(), QStringLiteral("Indexing finished"));
        QVERIFY(form.session().articles().rowCount() > afterStop);
    }

    // A full run asks first, saying what is lost: No starts nothing and leaves the catalogue, its search
    // marks and the button that clears them; Yes runs, which discards the marks. A run for new issues asks
    // nothing and leaves the button.
    void fullRun_asksFirstAndOnlyYesDiscardsTheMarks() {
        Setup s(2, /*withFoundRow*/ true);
        QStringList questions;
        bool answer = false;
        MainWindow form(s.app(), [&](QWidget*, MainWindow::MessageKind kind, const QString& text) {
            if (kind == MainWindow::MessageKind::Question) questions << text;
            return answer;
        });
        auto* end = child<QToolButton>(&form, "ToolButton10");
        QVERIFY(end->isEnabled());
        IndexingDialog* dialog = openDialog(form);
        QSignalSpy done(dialog, &IndexingDialog::runCompleted);
        auto* start = child<QPushButton>(dialog, "FlatButton1");
        test::clickAt(start, start->rect().center());
        QVERIFY(waitForCompletion(done).completed);
        QVERIFY(questions.isEmpty());
        QVERIFY(end->isEnabled());
        const int rows = form.session().articles().rowCount();

        auto* full = child<QRadioButton>(dialog, "FlatRadioButton1");
        test::clickAt(full, full->rect().center());
        QVERIFY(full->isChecked());
        test::clickAt(start, start->rect().center());
        QCOMPARE(questions.size(), 1);
        QVERIFY2(questions[0].contains(QStringLiteral("favourites")) &&
                     questions[0].contains(QStringLiteral("stopped")),
                 qPrintable(questions[0]));
        QVERIFY(!form.workerRunning());
        QCOMPARE(dialog->state(), IndexingDialog::State::Idle);
        QVERIFY(!done.wait(300));
        QVERIFY(end->isEnabled());
        QCOMPARE(form.session().articles().rowCount(), rows);
        QVERIFY(form.session().articles().locate("Find", {FieldValue{std::int32_t(-1)}}));

        answer = true;
        test::clickAt(start, start->rect().center());
        QCOMPARE(questions.size(), 2);
        QVERIFY(!end->isEnabled());
        QVERIFY(waitForCompletion(done).completed);
        QVERIFY(!end->isEnabled());
        QVERIFY(!form.session().articles().locate("Find", {FieldValue{std::int32_t(-1)}}));
    }

    void closedDialog_stopsTheRunAndNoSecondRunStartsBesideIt() {
        Setup s(6);
        std::vector<Shown> shown;
        auto* form = new MainWindow(s.app(), [&](QWidget*, MainWindow::MessageKind k, const QString& t) {
            shown.push_back({k, t});
        });
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        QPointer<IndexingDialog> dialog = openDialog(*form);
        auto* status = child<QLineEdit>(dialog, "FlatEdit2");
        bool checked = false;
        connect(status, &QLineEdit::textChanged, this, [&](const QString& text) {
            if (checked || text.isEmpty() || dialog->state() != IndexingDialog::State::Running) return;
            checked = true;
            // Closed by its close box during the run: the dialog goes, the run is asked to stop.
            dialog->close();
            QVERIFY(!dialog->isVisible());
            QVERIFY(form->stopFlag());
            // The indexing command shows the running dialog again instead of starting a second run.
            form->findChild<QAction*>(QStringLiteral("GoIndex"))->trigger();
            QCOMPARE(form->findChildren<IndexingDialog*>().size(), 1);
            QVERIFY(dialog->isVisible());
            dialog->close();
            // Commands that use the tables wait for the worker; closing the window waits for it too.
            QVERIFY(!form->findChild<QAction*>(QStringLiteral("Go_Last"))->isEnabled());
            form->close();
            QVERIFY(form->isVisible());
        });
        QSignalSpy done(dialog.data(), &IndexingDialog::runCompleted);
        child<QPushButton>(dialog, "FlatButton1")->click();
        const indexer::IndexResult result = waitForCompletion(done);
        QVERIFY(checked);
        QVERIFY(result.stopped);
        QCOMPARE(result.issues, 1);
        QVERIFY(!form->stopFlag());
        QCOMPARE(form->findChild<QTableView*>(QStringLiteral("DBGridEh_MVX2"))->model()->rowCount(),
                 form->session().articles().rowCount());
        // The hidden dialog goes after its completion report, and the close asked for during the run happens.
        QTRY_VERIFY(dialog.isNull());
        QTRY_VERIFY(!form->isVisible());
        QVERIFY(shown.empty());
        delete form;
        RecordTable t;
        catalogue::openArticleTable(t, s.app() / "mvx.dat", {});
        QVERIFY(t.rowCount() > 0);
    }

    void runOverMissingArchiveFolder_stillReturnsToIdle() {
        Setup s(1);
        std::filesystem::remove_all(s.archive);
        std::vector<Shown> shown;
        MainWindow form(s.app(), [&](QWidget*, MainWindow::MessageKind k, const QString& t) {
            shown.push_back({k, t});
        });
        IndexingDialog* dialog = openDialog(form);
        QSignalSpy done(dialog, &IndexingDialog::runCompleted);
        child<QPushButton>(dialog, "FlatButton1")->click();
        const indexer::IndexResult result = waitForCompletion(done);
        // The run refuses the folder: the window gets its tables back, the dialog is ready again, its
        // status line does not claim the run finished, and the refusal is shown with its message.
        QVERIFY(!result.completed);
        QCOMPARE(child<QLineEdit>(dialog, "FlatEdit2")->text(), QStringLiteral("Stopped by an error"));
        QVERIFY(!form.workerRunning());
        QVERIFY(child<QPushButton>(dialog, "FlatButton1")->isEnabled());
        QVERIFY(!child<QPushButton>(dialog, "FlatButton2")->isEnabled());
        QCOMPARE(form.findChild<QAction*>(QStringLiteral("Go_Last"))->isEnabled(), true);
        QCOMPARE(int(shown.size()), 1);
        QCOMPARE(shown[0].kind, MainWindow::MessageKind::Error);
        QCOMPARE(shown[0].text, QString::fromStdString(result.error.english()));
    }
};

QTEST_MAIN(IndexingDialogTest)
#include "indexingdialog_test.moc"
