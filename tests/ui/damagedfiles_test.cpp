// The main window started on an application folder in which one file is damaged, or whose files are spoiled
// while it is open: it reports what is wrong where it must, never crashes or hangs, opens or ends as
// start-up says, and leaves the user's files as they were.
#include "catalogue/catalogue.h"
#include "search/history.h"
#include "support/testsupport.h"
#include "support/uisupport.h"
#include "ui/archiveview.h"
#include "ui/articlegrid.h"
#include "ui/mainwindow.h"
#include "ui/statusbar.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QTest>

#include <map>
#include <random>
#include <sys/stat.h>

using namespace marovex;
using marovex::test::TempDir;

namespace {

enum class Outcome {
    Ends,            // a start-up failure: one information box, the window closes the moment it is shown
    ConversionError, // one error box, the remaining start-up steps skipped, the window open
    Opens,           // no message at all, the window open
};

struct Shown {
    MainWindow::MessageKind kind;
    QString text;
};

using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot(const std::filesystem::path& dir) {
    Snapshot files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            files[e.path().lexically_relative(dir).generic_string()] = test::readFile(e.path());
    return files;
}

// Names the first file whose bytes differ, or that came or went.
QString firstDifference(const Snapshot& before, const Snapshot& after, const QStringList& mayChange) {
    for (const auto& [name, bytes] : before) {
        if (mayChange.contains(QString::fromStdString(name))) continue;
        const auto it = after.find(name);
        if (it == after.end()) return QString::fromStdString(name + " is gone");
        if (it->second != bytes) return QString::fromStdString(name + " changed");
    }
    for (const auto& [name, bytes] : after)
        if (!before.count(name) && !mayChange.contains(QString::fromStdString(name)))
            return QString::fromStdString(name + " appeared");
    return {};
}

std::string randomBytes(std::size_t n) {
    std::mt19937 gen(20261209);
    std::string bytes(n, '\0');
    for (char& c : bytes)
        c = char(gen() & 0xFF);
    return bytes;
}

// Russian letters in Windows-1251, so that every entry survives the trip through the window unchanged.
std::string longLine(std::size_t n) {
    std::string line(n, '\xe0');
    for (std::size_t i = 0; i < n; ++i)
        line[i] = i % 7 == 6 ? ' ' : char(0xe0 + i % 32);
    return line;
}

// An application folder as a user has it after a few runs: a catalogue of several database pages whose
// first row was current at the last shutdown, a topic, settings that remember the state, a language file
// and a search history.
void makeFolder(const std::filesystem::path& dir) {
    catalogue::createEmptyCatalogue(dir, true);
    RecordTable t;
    catalogue::openArticleTable(t, dir / "mvx.dat", {});
    for (int i = 0; i < 600; ++i) {
        t.append();
        t.setInt("Izb", i == 0 ? 5 : 0);
        t.setInt("Type", 1 + i % 3);
        t.setText("Number", catalogue::padIssueNumber(std::to_string(1 + i / 40)));
        t.setText("Tem", "Тема");
        t.setText("Statia", "Статья номер " + std::to_string(i) + " о чём-то длинном и подробном");
        t.setInt("Npp", i);
        t.post();
    }
    t.close();
    RecordTable topics;
    catalogue::openTopicTable(topics, dir / "subjects.dat");
    topics.append();
    topics.setText("Tem", "Тема");
    topics.post();
    topics.close();
    test::writeFile(dir / "mvx.ini", "[options]\r\ndbdir=D:\\Kelvra\r\n[interface]\r\nlocal=test.lng\r\n"
                                     "select_browser=2\r\nstate_save=1\r\ntext_search=old\r\n"
                                     "col_width_Statia=300\r\nWindowState=2\r\n");
    std::filesystem::create_directories(dir / "Locale");
    test::writeFile(dir / "Locale" / "test.lng",
                    "[MVX Language File]\r\nLanguageName=Test\r\n5=Quit\r\n78=Rows:\r\n");
    writeSearchHistory(dir / "search.dat", {"first", "second"});
}

std::string fileBytes(const char* name) {
    TempDir other;
    makeFolder(other.path());
    return test::readFile(other / name);
}

} // namespace

Q_DECLARE_METATYPE(Outcome)

class DamagedFilesTest : public QObject {
    Q_OBJECT

private slots:
    void damagedFile_isReportedAndNothingIsOverwritten_data() {
        QTest::addColumn<QString>("file");     // the damaged file, in the application folder
        QTest::addColumn<QByteArray>("bytes"); // what it holds
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("named");         // the message must hold this (besides the file for Ends)
        QTest::addColumn<QStringList>("rewritten"); // files a normal shutdown writes back

        const std::string table = fileBytes("mvx.dat");
        const std::string topics = fileBytes("subjects.dat");
        const auto bytes = [](const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); };
        const auto ends = int(Outcome::Ends);
        const auto conversion = int(Outcome::ConversionError);
        const auto opens = int(Outcome::Opens);
        const QStringList none;
        const QStringList shutdown{QStringLiteral("mvx.ini"), QStringLiteral("mvx.dat")};
        const QString ini = QStringLiteral("mvx.ini");
        const QString articles = QStringLiteral("mvx.dat");
        const QString topicFile = QStringLiteral("subjects.dat");
        const QString language = QStringLiteral("Locale/test.lng");
        const QString history = QStringLiteral("search.dat");
        const std::string settings = "[interface]\r\nlocal=test.lng\r\nselect_browser=2\r\nstate_save=1\r\n";

        QTest::newRow("articles empty") << articles << QByteArray() << ends << QString() << none;
        QTest::newRow("articles truncated")
            << articles << bytes(table.substr(0, table.size() / 2)) << ends << QString() << none;
        QTest::newRow("articles random")
            << articles << bytes(randomBytes(20000)) << ends << QString() << none;
        QTest::newRow("articles in the topic layout")
            << articles << bytes(topics) << ends << QString() << none;
        QTest::newRow("topics empty") << topicFile << QByteArray() << ends << QString() << none;
        QTest::newRow("topics truncated")
            << topicFile << bytes(topics.substr(0, topics.size() - 100)) << ends << QString() << none;
        QTest::newRow("topics random") << topicFile << bytes(randomBytes(4096)) << ends << QString() << none;
        QTest::newRow("topics in the article layout")
            << topicFile << bytes(table) << ends << QString() << none;

        QTest::newRow("settings: colour that is no colour")
            << ini << bytes(settings + "color_link=Blau\r\n") << conversion << QStringLiteral("Blau") << none;
        QTest::newRow("settings: font size that is no number")
            << ini << bytes(settings + "font_table=-16777208|-11|Arial|0|96|big|0\r\n") << conversion
            << QStringLiteral("big") << none;
        QTest::newRow("settings: font too large to hold")
            << ini << bytes(settings + "font_table=-16777208|-11|Arial|0|2000000000|2000000000|0\r\n")
            << conversion << QStringLiteral("2000000000") << none;
        QTest::newRow("settings: huge numbers")
            << ini
            << bytes(settings +
                     "font_table=-16777208|-11|Arial|0|96|30000|0\r\nWindowWidth=2147483647\r\n"
                     "WindowHeight=2147483647\r\nWindowTop=-2147483648\r\nWindowLeft=2147483647\r\n"
                     "col_width_Statia=2147483647\r\ncol_width_Tem=2147483647\r\n"
                     "col_index_Tem=-2147483648\r\nButton_find=2147483647\r\n"
                     "Internal_browser_height=2147483647\r\nstate_index=" +
                     std::string(5000, 'x') + "\r\n")
            << opens << QString() << shutdown;
        QTest::newRow("settings: 10 MB values") << ini
                                                << bytes(settings + "text_search=" + longLine(10'000'000) +
                                                         "\r\ndbdir=" + longLine(10'000'000) + "\r\n")
                                                << opens << QString() << shutdown;
        QTest::newRow("settings: 10 MB language file name")
            << ini << bytes("[interface]\r\nlocal=" + std::string(10'000'000, 'a') + "\r\n") << opens
            << QString() << shutdown;

        QTest::newRow("language file without texts")
            << language << QByteArray("[MVX Language File]\r\nLanguageName=Test\r\n") << opens << QString()
            << shutdown;
        QTest::newRow("language file with 10 MB texts")
            << language
            << bytes("[MVX Language File]\r\n5=" + longLine(10'000'000) + "\r\n10=" + longLine(10'000'000) +
                     "\r\n78=" + longLine(10'000'000) + "\r\n")
            << opens << QString() << shutdown;
        QTest::newRow("language file random")
            << language << bytes(randomBytes(100000)) << opens << QString() << shutdown;

        // Entries longer than the search box holds are cut when read, so the history is written back cut.
        QTest::newRow("history with very long lines")
            << history << bytes(longLine(4'000'000) + "\r\nshort\r\n" + longLine(1'000'000) + "\r\n") << opens
            << QString() << (shutdown + QStringList{history});
    }

    void damagedFile_isReportedAndNothingIsOverwritten() {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(int, outcome);
        QFETCH(QString, named);
        QFETCH(QStringList, rewritten);

        TempDir dir;
        makeFolder(dir.path());
        const auto damaged = dir / file.toStdString();
        test::writeFile(damaged, std::string_view(bytes.constData(), std::size_t(bytes.size())));
        const Snapshot before = snapshot(dir.path());

        std::vector<Shown> shown;
        auto* form = new MainWindow(dir.path(), [&](QWidget*, MainWindow::MessageKind k, const QString& t) {
            shown.push_back({k, t});
        });
        QCOMPARE(firstDifference(before, snapshot(dir.path()), {}), QString());
        form->show();

        switch (Outcome(outcome)) {
        case Outcome::Ends: {
            QCOMPARE(int(shown.size()), 1);
            QCOMPARE(shown[0].kind, MainWindow::MessageKind::Information);
            QVERIFY2(shown[0].text.contains(QString::fromStdString(damaged.string())),
                     qPrintable(shown[0].text));
            QCOMPARE(form->startupFailed(), true);
            QTRY_VERIFY(!form->isVisible());
            break;
        }
        case Outcome::ConversionError:
            QCOMPARE(int(shown.size()), 1);
            QCOMPARE(shown[0].kind, MainWindow::MessageKind::Error);
            QVERIFY2(shown[0].text.contains(named), qPrintable(shown[0].text));
            QVERIFY2(shown[0].text.contains(QString::fromStdString(damaged.string())),
                     qPrintable(shown[0].text));
            QCOMPARE(form->startupFailed(), false);
            QVERIFY(QTest::qWaitForWindowExposed(form));
            break;
        case Outcome::Opens:
            QVERIFY2(shown.empty(), qPrintable(shown.empty() ? QString() : shown[0].text.left(200)));
            QVERIFY(QTest::qWaitForWindowExposed(form));
            // Texts from the file are cut to what a value can hold.
            QVERIFY(form->findChild<QAction*>(QStringLiteral("ElMenuItem9"))->text().size() <= 2047);
            break;
        }
        if (form->isVisible()) {
            QCOMPARE(firstDifference(before, snapshot(dir.path()), {}), QString());
            QVERIFY(form->close());
            QVERIFY(shown.size() <= 1);
        }
        delete form;
        // The damaged file and every file the user had are as they were; a normal shutdown writes back only
        // the settings and the catalogue, and those keep every value it does not own.
        QCOMPARE(firstDifference(before, snapshot(dir.path()), rewritten), QString());
        if (rewritten.contains(QStringLiteral("mvx.ini")) && file != QStringLiteral("mvx.ini")) {
            const std::string ini = test::readFile(dir / "mvx.ini");
            QVERIFY(ini.find("dbdir=D:\\Kelvra\r\n") != std::string::npos);
            QVERIFY(ini.find("local=test.lng\r\n") != std::string::npos);
        }
    }

    // FIFOs planted while the window is open: each close by Alt+X is refused with a message naming the file
    // and writes nothing; once the file is fixed, the next close saves everything.
    void fileSpoiledWhileOpen_closeIsRefusedUntilFixed() {
        TempDir dir;
        makeFolder(dir.path());
        std::vector<Shown> shown;
        MainWindow form(dir.path(), [&](QWidget*, MainWindow::MessageKind k, const QString& t) {
            if (k == MainWindow::MessageKind::Error) shown.push_back({k, t});
        });
        QVERIFY(test::showActive(form));
        auto* box = form.findChild<QComboBox*>(QStringLiteral("FlatComboBox1"));
        test::clickAt(box, box->rect().center());
        test::typeKey(form, Qt::Key_A, Qt::ControlModifier); // over the last search, which start-up shows
        for (Qt::Key key : {Qt::Key_1, Qt::Key_0, Qt::Key_Return})
            test::typeKey(form, key);
        QCOMPARE(box->itemText(0), QStringLiteral("10"));

        for (const char* name : {"mvx.ini", "search.dat"}) {
            const auto file = dir / name;
            const std::string content = test::readFile(file);
            std::filesystem::remove(file);
            QCOMPARE(::mkfifo(file.c_str(), 0644), 0);
            const Snapshot before = snapshot(dir.path());
            shown.clear();
            test::typeKey(form, Qt::Key_X, Qt::AltModifier);
            QVERIFY2(form.isVisible(), name);
            QCOMPARE(int(shown.size()), 1);
            QVERIFY2(shown[0].text.contains(QString::fromStdString(file.string())),
                     qPrintable(shown[0].text));
            QCOMPARE(firstDifference(before, snapshot(dir.path()), {}), QString());
            std::filesystem::remove(file);
            test::writeFile(file, content);
        }
        test::typeKey(form, Qt::Key_X, Qt::AltModifier);
        QTRY_VERIFY(!form.isVisible());
        QCOMPARE(readSearchHistory(dir / "search.dat"), (std::vector<std::string>{"10", "first", "second"}));
        const std::string ini = test::readFile(dir / "mvx.ini");
        QVERIFY(ini.find("dbdir=D:\\Kelvra\r\n") != std::string::npos);
        QVERIFY2(ini.find("text_search=10\r\n") != std::string::npos, ini.c_str());
        RecordTable t;
        catalogue::openArticleTable(t, dir / "mvx.dat", {});
        QVERIFY2(t.locate("Find", {FieldValue{std::int32_t(catalogue::kFound)}}),
                 "the search marks were lost");
        t.discard();
    }
};

int main(int argc, char** argv) {
    return marovex::test::runWebEngineTest<DamagedFilesTest>(argc, argv);
}

#include "damagedfiles_test.moc"
