// Makes the README's picture of the main window: the demo catalogue, a title search, and the first found
// article open in the pane with the search text highlighted. Run under an X server (tools/readme-shot.sh
// starts one with Xvfb); the whole screen is saved as a PNG.
#include "base/cp1251.h"
#include "ui/appearance.h"
#include "ui/archiveview.h"
#include "ui/articlemodel.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QWebEnginePage>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: readme_shot APP_DIR SEARCH_TEXT OUT.png\n");
        return 2;
    }
    marovex::ArchiveView::prepareApplication();
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Marovex v2.0"));
    marovex::applyAppearance(app);
    const QString word = QString::fromUtf8(argv[2]);
    const QString out = QString::fromLocal8Bit(argv[3]);

    marovex::MainWindow form(argv[1], [](QWidget*, marovex::MainWindow::MessageKind, const QString& text) {
        std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
    });
    form.setGeometry(20, 20, 1180, 760);
    form.show();

    auto* box = form.findChild<QComboBox*>(QStringLiteral("FlatComboBox1"));
    auto* scope = form.findChild<QComboBox*>(QStringLiteral("FlatComboBox3"));
    auto* grid = form.findChild<QTableView*>(QStringLiteral("DBGridEh_MVX2"));
    QTimer::singleShot(500, [&] {
        scope->setCurrentIndex(0);
        box->setEditText(word);
        form.findChild<QAction*>(QStringLiteral("Action_Find"))->trigger();
        form.session().articles().first();
        grid->setCurrentIndex(grid->model()->index(0, marovex::ArticleModel::ColStatia));
        form.openCurrentRow();
    });
    // Saved once the pane shows the highlight (or after 20 s, so the script never hangs).
    QElapsedTimer waited;
    waited.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        marovex::ArchiveView* browser = form.webBrowser();
        if (!browser) return;
        browser->page()->runJavaScript(QStringLiteral("document.querySelectorAll('span[style]').length"),
                                       [&](const QVariant& v) {
                                           if (v.toInt() == 0 && waited.elapsed() < 20000) return;
                                           poll.stop();
                                           QTimer::singleShot(800, [&] {
                                               QApplication::primaryScreen()->grabWindow(0).save(out);
                                               form.close();
                                               QApplication::quit();
                                           });
                                       });
    });
    poll.start(300);
    return QApplication::exec();
}
