#include "app/mainsession.h"
#include "catalogue/catalogue.h"
#include "support/testsupport.h"
#include "ui/colorswatch.h"
#include "ui/settingsdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyleFactory>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

using namespace marovex;
using marovex::test::readFile;
using marovex::test::TempDir;
using marovex::test::writeFile;

namespace {

// The main window as the dialog sees it: records what the dialog asks of it.
class FakeHost final : public SettingsDialogHost {
public:
    explicit FakeHost(const std::filesystem::path& dir) : m_session(dir) {
        catalogue::createEmptyCatalogue(dir, false);
        const Startup startup = m_session.startUp();
        if (!startup.notices.empty())
            qWarning("start-up: %s", startup.notices.front().message.english().c_str());
    }
    SettingsAccess settingsAccess() override { return SettingsAccess(m_session); }
    MainSession& session() { return m_session; }
    void applySettings(const SettingsEffects& e) override {
        calls.push_back(e.viewPane ? "pane on" : "pane off");
    }
    void reapplyTopicFilter() override { calls.push_back("filter"); }
    GridLook gridLook() override { return look; }
    void clearSearchHistory() override { calls.push_back("clear history"); }
    void applyMainWindowLanguage() override { calls.push_back("language"); }
    void applyGridLook(const Font& font, Color link, Color find, Color table) override {
        calls.push_back("grid look");
        applied = {font, link, find, table, true, true};
    }
    void keepCurrentRow() override { calls.push_back("keep row"); }

    GridLook look;
    GridLook applied;
    std::vector<std::string> calls;

private:
    MainSession m_session;
};

struct Services {
    std::vector<QString> errors;
    std::optional<QColor> colour;
    std::optional<QFont> font;
    SettingsDialogServices make() {
        SettingsDialogServices s;
        s.pickColor = [this](QWidget*, const QColor&) { return colour; };
        s.pickFont = [this](QWidget*, const QFont&) { return font; };
        s.pickFolder = [](QWidget*, const QString&, const QString&) { return std::optional<QString>(); };
        s.showError = [this](QWidget*, const QString& text) { errors.push_back(text); };
        return s;
    }
};

template <class W> W* child(QWidget& dialog, const char* name) {
    auto* w = dialog.findChild<W*>(QString::fromLatin1(name));
    if (!w) qFatal("no %s", name);
    return w;
}

void click(QWidget& dialog, const char* name) {
    QTest::mouseClick(child<QAbstractButton>(dialog, name), Qt::LeftButton);
}

const char* const kEnglish = "[MVX Language File]\r\nLanguageName=English\r\n36=Archive access\r\n"
                             "37=Properties\r\n38=View\r\n39=Grid font\r\n83=Choose the folder\r\n"
                             "84=Bad colour\r\n";

} // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion"))); }

    void creation_showsTheSettingsAndOkWritesThemBack() {
        TempDir dir;
        std::filesystem::create_directory(dir / "Locale");
        writeFile(dir / "Locale" / "eng.lng", kEnglish);
        writeFile(dir / "Locale" / "x.lng", "[MVX Language File]\r\nLanguageName=Deutsch\r\n");
        writeFile(dir / "mvx.ini", "[options]\r\ndbdir=D:\\Archive\\\r\nkelvra Release=0\r\n"
                                   "name kelvra=Kel\r\n[interface]\r\nlocal=eng.lng\r\nselect_browser=7\r\n"
                                   "onclick=1\r\ncolor_htm_fon=clYellow\r\n");
        FakeHost host(dir.path());
        host.look.linkColor = 0x750000;
        host.look.tableColor = colors::clWindow;
        host.look.findColor = 0xB1D6B8;
        host.look.indicator = false;
        Services services;
        SettingsDialog dialog(host, nullptr, services.make());
        QVERIFY(services.errors.empty());
        QVERIFY(dialog.created());
        QCOMPARE(host.calls, (std::vector<std::string>{"pane off"}));

        QCOMPARE(dialog.objectName(), QStringLiteral("Form_Properties"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Properties"));
        QCOMPARE(child<QLineEdit>(dialog, "FlatEdit9")->text(), QStringLiteral("D:\\Archive"));
        QVERIFY(child<QCheckBox>(dialog, "FlatCheckBox1")->isChecked());
        QVERIFY(!child<QCheckBox>(dialog, "FlatCheckBox2")->isChecked());
        QCOMPARE(child<QLineEdit>(dialog, "FlatEdit3")->text(), QStringLiteral("Kel"));
        QCOMPARE(child<QLineEdit>(dialog, "FlatEdit1")->text(), QStringLiteral("Kelvra-Gold"));
        QVERIFY(child<QRadioButton>(dialog, "FlatRadioButton1")->isChecked());
        QVERIFY(child<QRadioButton>(dialog, "FlatRadioButton3")->isChecked()); // 7 is no browser of ours
        QVERIFY(!child<QCheckBox>(dialog, "FlatCheckBox13")->isChecked());
        QCOMPARE(child<QLineEdit>(dialog, "FlatEdit12")->text(), QStringLiteral("000075"));
        QCOMPARE(child<QLineEdit>(dialog, "FlatEdit11")->text(), QStringLiteral("FFFFFF"));
        QCOMPARE(child<QLineEdit>(dialog, "FlatEdit8")->text(), QStringLiteral("B8D6B1"));
        QCOMPARE(child<QLineEdit>(dialog, "FlatEdit7")->text(), QStringLiteral("FFFF00"));
        auto* languages = child<QComboBox>(dialog, "FlatComboBox1");
        QCOMPARE(languages->count(), 2);
        QCOMPARE(languages->currentText(), QStringLiteral("English"));

        // The tree: "View" shows no page of its own and keeps the frame's caption.
        auto* tree = child<QTreeWidget>(dialog, "TreeView1");
        auto* pages = child<QStackedWidget>(dialog, "Notebook1");
        auto* frame = child<QGroupBox>(dialog, "FlatGroupBox1");
        QCOMPARE(frame->title(), QStringLiteral("Archive access"));
        tree->setCurrentItem(tree->topLevelItem(1));
        QCOMPARE(pages->currentIndex(), 1);
        tree->setCurrentItem(tree->topLevelItem(2));
        QCOMPARE(pages->currentIndex(), 1);
        QCOMPARE(frame->title(), QStringLiteral("Properties"));
        tree->setCurrentItem(tree->topLevelItem(2)->child(0));
        QCOMPARE(pages->currentIndex(), 2);
        QCOMPARE(frame->title(), QStringLiteral("Grid font"));

        // A font chosen in the font dialog shows as name and size and is written whole.
        services.font = QFont(QStringLiteral("DejaVu Sans"), 12, QFont::Bold);
        click(dialog, "FlatSpeedButton2");
        QCOMPARE(child<QLineEdit>(dialog, "FlatEdit4")->text(), QStringLiteral("DejaVu Sans 12"));

        dialog.show();
        host.calls.clear();
        click(dialog, "FlatButton3");
        QVERIFY(services.errors.empty());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        // Same language file: the main window's texts are left alone.
        QCOMPARE(host.calls, (std::vector<std::string>{"pane on", "filter", "grid look"}));
        QCOMPARE(host.applied.font.name, std::string("DejaVu Sans"));
        QCOMPARE(host.applied.tableColor, colors::clWindow);
        const std::string ini = readFile(dir / "mvx.ini");
        for (const char* line :
             {"select_browser=1\r\n", "dbdir=D:\\Archive\r\n", "kelvra Release=0\r\n",
              "color_table=clWindow\r\n", "color_htm_fon=clYellow\r\n", "local=eng.lng\r\n",
              "font_table=-16777208|-16|DejaVu Sans|0|96|12|1\r\n", "Indicator=0\r\n", "onclick=1\r\n"})
            QVERIFY2(ini.find(line) != std::string::npos, line);
        QCOMPARE(host.session().ini.select_browser, 1);
        QVERIFY(std::filesystem::exists(dir / "tem.dat"));
    }

    void languageChange_isAppliedToTheMainWindow_andNoFilesGiveAnEmptyName() {
        TempDir dir;
        writeFile(dir / "mvx.ini", "[interface]\r\nlocal=rus.lng\r\n");
        FakeHost host(dir.path());
        Services services;
        SettingsDialog dialog(host, nullptr, services.make());
        QCOMPARE(child<QComboBox>(dialog, "FlatComboBox1")->count(), 0);
        dialog.show();
        click(dialog, "FlatButton3");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(readFile(dir / "mvx.ini").find("local=\r\n") != std::string::npos);
        QCOMPARE(host.session().ini.local, std::string());
        QVERIFY(std::find(host.calls.begin(), host.calls.end(), "language") != host.calls.end());
    }

    void hexFields_filterKeysAndRefuseAnIncompleteColour() {
        TempDir dir;
        std::filesystem::create_directory(dir / "Locale");
        writeFile(dir / "Locale" / "eng.lng", kEnglish);
        writeFile(dir / "mvx.ini", "[interface]\r\nlocal=eng.lng\r\n");
        FakeHost host(dir.path());
        host.look.linkColor = 0x123456;
        Services services;
        SettingsDialog dialog(host, nullptr, services.make());
        dialog.show();
        auto* hex = child<QLineEdit>(dialog, "FlatEdit12");
        auto* swatch = child<ColorSwatch>(dialog, "FlatSpeedButton5");
        hex->clear();
        QTest::keyClicks(hex, QStringLiteral("ab1g2 c"));
        QCOMPARE(hex->text(), QStringLiteral("AB12C"));

        click(dialog, "FlatSpeedButton7");
        QCOMPARE(services.errors, std::vector<QString>{QStringLiteral("Bad colour")});
        QCOMPARE(swatch->color(), Color(0x123456));

        QTest::keyClicks(hex, QStringLiteral("d9"));
        QCOMPARE(hex->text(), QStringLiteral("AB12CD"));
        QTest::keyClick(hex, Qt::Key_Backspace);
        QTest::keyClicks(hex, QStringLiteral("f"));
        QCOMPARE(hex->text(), QStringLiteral("AB12CF"));
        click(dialog, "FlatSpeedButton7");
        QCOMPARE(services.errors.size(), std::size_t(1));
        QCOMPARE(swatch->color(), Color(0xCF12AB));
        QCOMPARE(swatch->hoverColor(), QColor(0xAB, 0x12, 0xCF));
    }

    void colourDialog_cancelledKeepsTheSwatch_confirmedTakesTheColour() {
        TempDir dir;
        FakeHost host(dir.path());
        host.look.findColor = 0x00FF00;
        Services services;
        SettingsDialog dialog(host, nullptr, services.make());
        auto* swatch = child<ColorSwatch>(dialog, "FlatSpeedButton8");
        auto* hex = child<QLineEdit>(dialog, "FlatEdit8");
        click(dialog, "FlatSpeedButton8");
        QCOMPARE(swatch->color(), Color(0x00FF00));
        QCOMPARE(hex->text(), QStringLiteral("00FF00"));
        QCOMPARE(swatch->hoverColor(), QColor(0, 0xFF, 0));

        services.colour = QColor(0x10, 0x20, 0x30);
        click(dialog, "FlatSpeedButton8");
        QCOMPARE(swatch->color(), Color(0x302010));
        QCOMPARE(hex->text(), QStringLiteral("102030"));

        click(dialog, "FlatButton6");
        QCOMPARE(hex->text(), QStringLiteral("B8D6B1"));
        click(dialog, "FlatButton5");
        QCOMPARE(child<QLineEdit>(dialog, "FlatEdit7")->text(), QStringLiteral("FFFF00"));
    }

    void cancelAfterClearingTheHistory_writesNothing() {
        TempDir dir;
        writeFile(dir / "mvx.ini", "[interface]\r\nselect_browser=3\r\n");
        FakeHost host(dir.path());
        Services services;
        SettingsDialog dialog(host, nullptr, services.make());
        dialog.show();
        click(dialog, "FlatButton1");
        QCOMPARE(host.calls.back(), std::string("clear history"));
        click(dialog, "FlatRadioButton6");
        click(dialog, "FlatButton4");
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(readFile(dir / "mvx.ini"), std::string("[interface]\r\nselect_browser=3\r\n"));
        QVERIFY(!std::filesystem::exists(dir / "tem.dat"));
        QCOMPARE(host.calls.back(), std::string("clear history"));
    }

    void writeProtectedSettings_reportsAndStaysOpen() {
        TempDir dir;
        writeFile(dir / "mvx.ini", "[interface]\r\nframe=0\r\n");
        std::filesystem::permissions(dir / "mvx.ini", std::filesystem::perms::owner_read);
        FakeHost host(dir.path());
        Services services;
        SettingsDialog dialog(host, nullptr, services.make());
        dialog.show();
        click(dialog, "FlatButton3");
        QCOMPARE(services.errors, std::vector<QString>{QStringLiteral("Unable to write to ") +
                                                       QString::fromStdString((dir / "mvx.ini").string())});
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!std::filesystem::exists(dir / "tem.dat"));
    }

    void unreadableColourSetting_opensWithoutOk() {
        // Fields left unfilled must not be written over the user's settings.
        TempDir dir;
        const std::string before = "[options]\r\ndbdir=E:\\Mag\r\n[interface]\r\ncolor_htm_fon=sunset\r\n";
        writeFile(dir / "mvx.ini", before);
        FakeHost host(dir.path()); // start-up reports the same colour
        Services services;
        SettingsDialog dialog(host, nullptr, services.make());
        QCOMPARE(services.errors.size(), std::size_t(1));
        QVERIFY(services.errors[0].contains(QStringLiteral("color_htm_fon")));
        QVERIFY(services.errors[0].contains(QStringLiteral("sunset")));
        QVERIFY(!dialog.created());
        QVERIFY(!child<QPushButton>(dialog, "FlatButton3")->isEnabled());
        dialog.show();
        click(dialog, "FlatButton3");
        QCOMPARE(readFile(dir / "mvx.ini"), before);
    }
};

QTEST_MAIN(SettingsDialogTest)
#include "settingsdialog_test.moc"
