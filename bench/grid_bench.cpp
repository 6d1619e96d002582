// The article grid over a catalogue of 200,000 articles (offscreen): first paint after the table is open,
// scrolling to the end, re-sorting and repainting.
#include "benchsupport.h"
#include "catalogue/catalogue.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>

#include <cstdio>

using namespace marovex;
using marovex::bench::Stopwatch;

namespace {

constexpr int kRows = 200000;

void paintNow(QWidget* w) {
    w->repaint();
    QApplication::processEvents();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const auto dir = bench::dataDir() / "grid-200k";
    if (!std::filesystem::exists(dir / "mvx.dat")) {
        std::printf("generating %s ...\n", dir.c_str());
        std::filesystem::create_directories(dir);
        bench::makeArticleCatalogue(dir, kRows, 7, false);
    }
    auto quiet = [](QWidget*, MainWindow::MessageKind, const QString& text) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    };

    Stopwatch open;
    MainWindow form(dir, quiet);
    const double created = open.seconds();
    auto* grid = form.findChild<QTableView*>(QStringLiteral("DBGridEh_MVX2"));
    // The catalogue is open once the window exists; what counts is how soon the grid shows it.
    Stopwatch show;
    form.resize(1024, 768);
    form.show();
    paintNow(grid->viewport());
    const double firstPaint = show.seconds();
    std::printf("rows: %d (window with catalogue open in %.3f s)\n", grid->model()->rowCount(), created);
    bench::report("first paint after the table is open", firstPaint, 0.3, "s");

    Stopwatch scroll;
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
    paintNow(grid->viewport());
    bench::report("scroll to the end and repaint", scroll.seconds() * 1000, 50, "ms");

    Stopwatch resize;
    form.resize(1280, 900);
    QApplication::processEvents();
    paintNow(grid->viewport());
    bench::report("resize the window and repaint", resize.seconds() * 1000, 50, "ms");

    Stopwatch sort;
    form.session().articles().setSortKeys(catalogue::orderByField("Statia"));
    paintNow(grid->viewport());
    bench::report("re-sort by title and repaint", sort.seconds(), 0.5, "s");

    Stopwatch resortStandard;
    form.session().articles().setSortKeys(catalogue::kStandardOrder);
    paintNow(grid->viewport());
    bench::report("re-sort to the standard order and repaint", resortStandard.seconds(), 0.5, "s");

    form.session().articles().discard(); // the benchmark leaves its catalogue as it was
    return 0;
}
