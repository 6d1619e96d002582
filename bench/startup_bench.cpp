// Start-up and shutdown of the main window over a catalogue of 200,000 articles (offscreen), in a
// temporary application folder set up as a user's after many runs: settings that remember the state,
// the embedded pane on, a language file and a full search history.
#include "benchsupport.h"
#include "catalogue/articleview.h"
#include "catalogue/catalogue.h"
#include "search/history.h"
#include "ui/archiveview.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QEvent>
#include <QTableView>

#include <cstdio>
#include <fstream>
#include <unistd.h>

using namespace marovex;
using marovex::bench::Stopwatch;

namespace {

constexpr int kRows = 200000;

// Resident memory of this process's children (the web engine's helper processes), in megabytes.
double childrenMegabytes() {
    double total = 0;
    const std::string self = std::to_string(::getpid());
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        std::ifstream in(e.path() / "status");
        std::string line;
        bool child = false;
        double rss = 0;
        while (std::getline(in, line)) {
            if (line.rfind("PPid:", 0) == 0) child = std::stoi(line.substr(5)) == std::stoi(self);
            if (line.rfind("VmRSS:", 0) == 0) rss = std::stod(line.substr(6)) / 1024.0;
        }
        if (child) total += rss;
    }
    return total;
}

// Notes the moment the window's first paint has been made.
class FirstPaint : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    ArchiveView::prepareApplication();
    QApplication app(argc, argv);

    const auto cache = bench::dataDir() / "startup-200k";
    if (!std::filesystem::exists(cache / "subjects.dat")) {
        std::printf("generating %s ...\n", cache.c_str());
        std::filesystem::create_directories(cache);
        bench::makeArticleCatalogue(cache, kRows, 11, true);
    }
    // Closing writes the catalogue back, so every run works on a copy.
    const auto dir =
        std::filesystem::temp_directory_path() / ("marovex-startup-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "Locale");
    for (const char* name : {"mvx.dat", "subjects.dat"})
        std::filesystem::copy_file(cache / name, dir / name);
    std::filesystem::copy_file(std::filesystem::path(MAROVEX_SOURCE_DIR) / "resources/Locale/rus.lng",
                               dir / "Locale" / "rus.lng");
    {
        std::ofstream ini(dir / "mvx.ini", std::ios::binary);
        ini << "[options]\r\ndbdir=/nonexistent\r\n[interface]\r\nlocal=rus.lng\r\nselect_browser=1\r\n"
               "state_save=1\r\nstate_index=Tem\r\nstate_filter=0\r\nWindowState=2\r\nWindowWidth=1024\r\n"
               "WindowHeight=768\r\n";
    }
    std::vector<std::string> history;
    for (int i = 0; i < 26; ++i)
        history.push_back("search " + std::to_string(i));
    writeSearchHistory(dir / "search.dat", history);

    auto report = [](QWidget*, MainWindow::MessageKind, const QString& text) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    };
    const double before = bench::statusMegabytes("VmRSS:");

    Stopwatch start;
    auto* form = new MainWindow(dir, report);
    const double created = start.seconds();
    FirstPaint paint;
    form->installEventFilter(&paint);
    form->show();
    while (!paint.painted)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    const double shown = start.seconds();
    auto* grid = form->findChild<QTableView*>(QStringLiteral("DBGridEh_MVX2"));
    std::printf("rows: %d (window created in %.3f s; %.0f MB resident before)\n", grid->model()->rowCount(),
                created, before);
    bench::report("window created and shown until its first paint", shown, 1.0, "s");
    // Let the pane and the grid settle before memory is read.
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    bench::report("resident memory after start-up (VmRSS)", bench::statusMegabytes("VmRSS:"), 300, "MB");
    bench::report("peak resident memory up to then (VmHWM)", bench::statusMegabytes("VmHWM:"), 300, "MB");
    std::printf("(the web engine's helper processes hold another %.0f MB)\n", childrenMegabytes());

    // A change the close must write back: a favourite mark on the current row.
    catalogue::toggleFavourite(form->session().articles());
    Stopwatch close;
    const bool closed = form->close();
    delete form;
    const double closing = close.seconds();
    if (!closed) std::fprintf(stderr, "the window refused to close\n");
    bench::report("close with a changed table written back", closing, 1.0, "s");

    std::filesystem::remove_all(dir);
    return 0;
}
