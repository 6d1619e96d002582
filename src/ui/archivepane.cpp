#include "ui/archivepane.h"

#include "base/message.h"
#include "ui/archiveview.h"
#include "ui/icons.h"
#include "viewer/opening.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineFindTextResult>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace marovex {

namespace {

// The steps browsers zoom by.
constexpr std::array kZoomLevels = {25,  33,  50,  67,  75,  80,  90,  100, 110,
                                    125, 150, 175, 200, 250, 300, 400, 500};

int nearestZoomLevel(int percent) {
    percent = std::clamp(percent, kZoomLevels.front(), kZoomLevels.back()); // whatever a file says
    return *std::min_element(kZoomLevels.begin(), kZoomLevels.end(), [percent](int a, int b) {
        return std::abs(a - percent) < std::abs(b - percent);
    });
}

QString defaultText(int key, const QStringList& args) {
    std::vector<std::string> values;
    for (const QString& a : args)
        values.push_back(a.toStdString());
    return QString::fromStdString(fillPattern(builtInText(key, false), values));
}

QString chooseFileWithDialog(QWidget* parent, const QString& title, const QString& suggested,
                             const QString& filter) {
    // Qt's own dialog: a desktop's dialog may note the file among its recent ones under the home folder.
    return QFileDialog::getSaveFileName(parent, title, suggested, filter, nullptr,
                                        QFileDialog::DontUseNativeDialog);
}

bool choosePrinterWithDialog(QWidget* parent, QPrinter& printer) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

// A page title as a file name on any system.
QString fileNameOf(const QString& title) {
    static const QRegularExpression unsafe(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]"));
    QString name = title;
    name.replace(unsafe, QStringLiteral("_"));
    name = name.simplified().left(100);
    return name.isEmpty() ? QStringLiteral("page") : name;
}

bool isWebAddress(const QUrl& url) {
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
           scheme == QLatin1String("ftp") || scheme == QLatin1String("mailto");
}

void setButtonName(QToolBar* bar, QAction* action, const char* name) {
    QWidget* button = bar->widgetForAction(action);
    button->setObjectName(QString::fromLatin1(name));
    button->setFocusPolicy(Qt::NoFocus); // Tab goes from the grid into the page
}

QToolBar* slimBar(QWidget* parent, const char* name) {
    auto* bar = new QToolBar(parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    bar->setAutoFillBackground(true);
    bar->setPalette(QApplication::palette());
    return bar;
}

} // namespace

ArchivePane::ArchivePane(QWidget* parent)
    : QFrame(parent), m_text(defaultText), m_chooseFile(chooseFileWithDialog),
      m_choosePrinter(choosePrinterWithDialog) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_back = command("Pane_Back", icons::Icon::ArrowLeft, nullptr);
    m_forward = command("Pane_Forward", icons::Icon::ArrowRight, nullptr);
    m_reload = command("Pane_Reload", icons::Icon::None, nullptr);
    m_copy = command("Pane_Copy", icons::Icon::None, nullptr);
    m_selectAll = command("Pane_SelectAll", icons::Icon::None, nullptr);
    m_find = command("Pane_Find", icons::Icon::Binoculars, &ArchivePane::openFindBar);
    m_findNext = command("Pane_FindNext", icons::Icon::ArrowDown, &ArchivePane::findNext);
    m_findPrevious = command("Pane_FindPrevious", icons::Icon::ArrowUp, &ArchivePane::findPrevious);
    m_zoomOut = command("Pane_ZoomOut", icons::Icon::ZoomOut, &ArchivePane::zoomOut);
    m_zoomIn = command("Pane_ZoomIn", icons::Icon::ZoomIn, &ArchivePane::zoomIn);
    m_actualSize = command("Pane_ActualSize", icons::Icon::None, &ArchivePane::resetZoom);
    m_print = command("Pane_Print", icons::Icon::Printer, &ArchivePane::print);
    m_savePdf = command("Pane_SavePdf", icons::Icon::None, &ArchivePane::saveAsPdf);
    m_copyAddress = command("Pane_CopyAddress", icons::Icon::None, &ArchivePane::copyAddress);
    m_openInBrowser = command("Pane_OpenInBrowser", icons::Icon::None, &ArchivePane::openInBrowser);
    m_back->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    m_forward->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    m_find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    m_findNext->setShortcut(QKeySequence(Qt::Key_F3));
    m_findPrevious->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    // Ctrl+= is Ctrl++ without the Shift most keyboards need for the plus.
    m_zoomIn->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)});
    m_zoomOut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    m_actualSize->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    m_print->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    for (QAction* a : {m_back, m_forward, m_reload, m_copy, m_selectAll, m_copyAddress, m_openInBrowser,
                       m_print, m_savePdf, m_find, m_findNext, m_findPrevious})
        a->setEnabled(false); // until there is a view

    m_bar = slimBar(this, "PaneBar");
    m_bar->addAction(m_back);
    m_bar->addAction(m_forward);
    m_bar->addSeparator();
    m_bar->addAction(m_zoomOut);
    m_zoomLevel = new QToolButton(m_bar);
    m_zoomLevel->setObjectName(QStringLiteral("PaneZoomLevel"));
    m_zoomLevel->setAutoRaise(true);
    m_zoomLevel->setFocusPolicy(Qt::NoFocus);
    // Wide enough for "500 %" whatever the level, so the buttons beside it stay put.
    m_zoomLevel->setMinimumWidth(m_zoomLevel->fontMetrics().horizontalAdvance(QStringLiteral("500 %")) + 12);
    connect(m_zoomLevel, &QToolButton::clicked, this, &ArchivePane::resetZoom);
    m_bar->addWidget(m_zoomLevel);
    m_bar->addAction(m_zoomIn);
    setButtonName(m_bar, m_back, "PaneBackButton");
    setButtonName(m_bar, m_forward, "PaneForwardButton");
    setButtonName(m_bar, m_zoomOut, "PaneZoomOutButton");
    setButtonName(m_bar, m_zoomIn, "PaneZoomInButton");
    layout->addWidget(m_bar);
    buildFindBar();
    layout->addWidget(m_findBar);

    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("PaneMenu"));
    m_menu->addActions({m_back, m_forward, m_reload});
    m_menu->addSeparator();
    m_menu->addActions({m_copy, m_selectAll, m_find});
    m_menu->addSeparator();
    m_menu->addActions({m_zoomIn, m_zoomOut, m_actualSize});
    m_menu->addSeparator();
    m_menu->addActions({m_print, m_savePdf});
    m_menu->addSeparator();
    m_menu->addActions({m_copyAddress, m_openInBrowser});
    applyZoom();
    retranslate();
}

ArchivePane::~ArchivePane() {
    // The view, its page and profile go first, while the pane it reports to is whole.
    delete m_view;
    m_view = nullptr;
}

QAction* ArchivePane::command(const char* name, icons::Icon icon, void (ArchivePane::*run)()) {
    auto* a = new QAction(this);
    a->setObjectName(QString::fromLatin1(name));
    if (icon != icons::Icon::None) a->setIcon(icons::toolIcon(icon));
    if (run) connect(a, &QAction::triggered, this, run);
    addAction(a); // its keys serve the window while the pane is shown
    return a;
}

void ArchivePane::buildFindBar() {
    m_findBar = slimBar(this, "FindBar");
    m_findText = new QLineEdit(m_findBar);
    m_findText->setObjectName(QStringLiteral("FindText"));
    m_findText->setClearButtonEnabled(true);
    m_findText->setMaximumWidth(260);
    m_findText->installEventFilter(this);
    connect(m_findText, &QLineEdit::textEdited, this,
            [this](const QString& what) { find(what, false, false); });
    m_findBar->addWidget(m_findText);
    m_findBar->addAction(m_findPrevious);
    m_findBar->addAction(m_findNext);
    m_matchCase = new QAction(icons::toolIcon(icons::Icon::LettersAa), QString(), this);
    m_matchCase->setObjectName(QStringLiteral("Find_MatchCase"));
    m_matchCase->setCheckable(true);
    connect(m_matchCase, &QAction::toggled, this, [this] { find(m_findText->text(), false, true); });
    m_findBar->addAction(m_matchCase);
    m_findResult = new QLabel(m_findBar);
    m_findResult->setObjectName(QStringLiteral("FindResult"));
    m_findResult->setContentsMargins(6, 0, 6, 0);
    m_findBar->addWidget(m_findResult);
    auto* gap = new QWidget(m_findBar);
    gap->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_findBar->addWidget(gap);
    m_closeFind = new QAction(icons::toolIcon(icons::Icon::RedCross), QString(), m_findBar);
    m_closeFind->setObjectName(QStringLiteral("Find_Close"));
    m_closeFind->setShortcut(QKeySequence(Qt::Key_Escape));
    m_closeFind->setShortcutContext(Qt::WidgetWithChildrenShortcut); // Esc elsewhere stays theirs
    connect(m_closeFind, &QAction::triggered, this, &ArchivePane::closeFindBar);
    m_findBar->addAction(m_closeFind);
    setButtonName(m_findBar, m_findPrevious, "FindPreviousButton");
    setButtonName(m_findBar, m_findNext, "FindNextButton");
    setButtonName(m_findBar, m_matchCase, "FindCaseButton");
    setButtonName(m_findBar, m_closeFind, "FindCloseButton");
    m_findBar->hide();
}

bool ArchivePane::makeView() {
    if (m_view) return true;
    try {
        m_view = new ArchiveView(this);
    } catch (const std::exception&) {
        m_view = nullptr;
        return false;
    }
    m_viewObject = m_view.data();
    m_view->setObjectName(QStringLiteral("webBrowser"));
    m_view->setFocusPolicy(Qt::StrongFocus);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    // A pane squeezed by a small window keeps a strip of the page below its bar.
    m_view->setMinimumHeight(25);
    static_cast<QVBoxLayout*>(layout())->insertWidget(1, m_view, 1);
    connect(m_view, &ArchiveView::statusTextChanged, this, &ArchivePane::statusTextChanged);
    connect(m_view, &ArchiveView::pointerEntered, this, &ArchivePane::pointerEntered);
    connect(m_view, &QWidget::customContextMenuRequested, this, &ArchivePane::showMenu);
    connect(m_view, &ArchiveView::printFinished, this, [this](bool printed) {
        // The engine is done with the printer once it reports; it goes after this signal.
        QMetaObject::invokeMethod(
            this, [this] { m_printer.reset(); }, Qt::QueuedConnection);
        if (!printed) emit failed(text(msg::PrintFailed));
    });
    connect(m_view, &ArchiveView::pdfPrintingFinished, this, [this](const QString& file, bool written) {
        if (!written) emit failed(text(msg::PdfNotWritten, {QDir::toNativeSeparators(file)}));
    });
    connect(m_view, &ArchiveView::loadFinished, this, [this] {
        applyZoom(); // the engine keeps zoom levels by host, and a page of another host has its own
        // The blank page every view starts with is no place to go back to.
        QWebEngineHistory* history = m_view->history();
        if (history->count() > 1 && history->itemAt(0).url().scheme() == QLatin1String("about"))
            history->clear();
        if (m_findBar->isVisible() && !m_findText->text().isEmpty()) find(m_findText->text(), false, true);
    });
    followPageAction(m_back, QWebEnginePage::Back);
    followPageAction(m_forward, QWebEnginePage::Forward);
    followPageAction(m_reload, QWebEnginePage::Reload);
    followPageAction(m_copy, QWebEnginePage::Copy);
    followPageAction(m_selectAll, QWebEnginePage::SelectAll);
    for (QAction* a :
         {m_copyAddress, m_openInBrowser, m_print, m_savePdf, m_find, m_findNext, m_findPrevious})
        a->setEnabled(true);
    // The engine's mouse and wheel events reach a widget inside the view, made now or later.
    m_view->installEventFilter(this);
    for (QObject* child : m_view->children())
        watchViewChild(child);
    applyZoom();
    return true;
}

void ArchivePane::followPageAction(QAction* own, int pageAction) {
    QAction* engine = m_view->pageAction(QWebEnginePage::WebAction(pageAction));
    own->setEnabled(engine->isEnabled());
    connect(engine, &QAction::changed, own, [own, engine] { own->setEnabled(engine->isEnabled()); });
    connect(own, &QAction::triggered, engine, &QAction::trigger);
}

void ArchivePane::watchViewChild(QObject* child) {
    if (child->isWidgetType()) child->installEventFilter(this);
}

bool ArchivePane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_findText && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            key->modifiers() & Qt::ShiftModifier ? findPrevious() : findNext();
            return true;
        }
    }
    if (watched == m_viewObject) {
        if (event->type() == QEvent::ChildAdded) watchViewChild(static_cast<QChildEvent*>(event)->child());
        return QFrame::eventFilter(watched, event);
    }
    if (m_viewObject && watched->parent() == m_viewObject) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick: {
            const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
            if (button != Qt::BackButton && button != Qt::ForwardButton) break;
            if (event->type() == QEvent::MouseButtonPress)
                (button == Qt::BackButton ? m_back : m_forward)->trigger();
            return true;
        }
        case QEvent::Wheel: {
            const auto* wheel = static_cast<QWheelEvent*>(event);
            if (!(wheel->modifiers() & Qt::ControlModifier)) break;
            // The pane's own steps, so the bar shows the level and the next run keeps it; a touchpad's small
            // turns add up to one step.
            m_wheel += wheel->angleDelta().y();
            while (std::abs(m_wheel) >= 120) {
                stepZoom(m_wheel > 0 ? 1 : -1);
                m_wheel -= m_wheel > 0 ? 120 : -120;
            }
            return true;
        }
        default:
            break;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void ArchivePane::setTextSource(TextSource source) {
    m_text = source ? std::move(source) : TextSource(defaultText);
    retranslate();
}

QString ArchivePane::text(int key, const QStringList& args) const {
    return m_text(key, args);
}

void ArchivePane::retranslate() {
    const auto say = [this](QAction* a, int key) {
        a->setText(text(key));
        const QKeySequence keys = a->shortcut();
        a->setToolTip(keys.isEmpty() ? text(key)
                                     : text(key) + QStringLiteral(" (") +
                                           keys.toString(QKeySequence::NativeText) + QLatin1Char(')'));
    };
    say(m_back, msg::PaneBack);
    say(m_forward, msg::PaneForward);
    say(m_reload, msg::PaneReload);
    say(m_copy, msg::PaneCopy);
    say(m_selectAll, msg::PaneSelectAll);
    say(m_find, msg::PaneFind);
    say(m_findNext, msg::FindNext);
    say(m_findPrevious, msg::FindPrevious);
    say(m_matchCase, msg::FindMatchCase);
    say(m_closeFind, msg::FindClose);
    say(m_zoomIn, msg::PaneZoomIn);
    say(m_zoomOut, msg::PaneZoomOut);
    say(m_actualSize, msg::PaneActualSize);
    say(m_print, msg::PanePrint);
    say(m_savePdf, msg::PaneSavePdf);
    say(m_copyAddress, msg::PaneCopyAddress);
    say(m_openInBrowser, msg::PaneOpenInBrowser);
    m_findText->setPlaceholderText(text(msg::FindPlaceholder));
    m_zoomLevel->setToolTip(text(msg::ZoomLevel) + QStringLiteral(" — ") + m_actualSize->toolTip());
    if (m_lastCount >= 0) showFindResult(m_lastActive, m_lastCount);
}

// --- Find in page ----------------------------------------------------------------------------------------

bool ArchivePane::findBarHasFocus() const {
    return m_findBar->isVisible() && m_findBar->isAncestorOf(QApplication::focusWidget());
}

void ArchivePane::openFindBar() {
    if (!m_view) return;
    if (m_findBar->isHidden()) {
        const HighlightRequest highlighted = m_view->highlight();
        if (viewer::shouldHighlight(highlighted.text))
            m_findText->setText(QString::fromStdString(highlighted.text));
        m_findBar->show();
        if (!m_findText->text().isEmpty()) find(m_findText->text(), false, true);
    }
    m_findText->setFocus(Qt::ShortcutFocusReason);
    m_findText->selectAll();
}

void ArchivePane::closeFindBar() {
    ++m_findRound; // a result still under way is not shown
    m_findBar->hide();
    if (!m_view) return;
    // Stopping leaves the current hit selected, as browsers do.
    m_view->page()->findText(QString());
    m_view->setFocus();
}

void ArchivePane::findNext() {
    if (m_findBar->isVisible()) return find(m_findText->text(), false, false);
    if (!m_view) return;
    const HighlightRequest highlighted = m_view->highlight();
    if (!viewer::shouldHighlight(highlighted.text)) return;
    m_view->page()->findText(QString::fromStdString(highlighted.text),
                             highlighted.matchCase ? QWebEnginePage::FindCaseSensitively
                                                   : QWebEnginePage::FindFlags());
}

void ArchivePane::findPrevious() {
    if (m_findBar->isVisible()) return find(m_findText->text(), true, false);
    if (!m_view) return;
    const HighlightRequest highlighted = m_view->highlight();
    if (!viewer::shouldHighlight(highlighted.text)) return;
    QWebEnginePage::FindFlags flags = QWebEnginePage::FindBackward;
    if (highlighted.matchCase) flags |= QWebEnginePage::FindCaseSensitively;
    m_view->page()->findText(QString::fromStdString(highlighted.text), flags);
}

void ArchivePane::find(const QString& what, bool backward, bool newSearch) {
    if (!m_view) return;
    const int round = ++m_findRound;
    if (what.isEmpty()) {
        m_view->page()->findText(QString());
        m_lastCount = -1;
        m_findResult->clear();
        m_findText->setPalette(QPalette());
        return;
    }
    // The same text again goes on to the next hit; a search with other options starts anew.
    if (newSearch) m_view->page()->findText(QString());
    QWebEnginePage::FindFlags flags;
    if (backward) flags |= QWebEnginePage::FindBackward;
    if (m_matchCase->isChecked()) flags |= QWebEnginePage::FindCaseSensitively;
    m_view->page()->findText(what, flags,
                             [pane = QPointer<ArchivePane>(this), round](const QWebEngineFindTextResult& r) {
                                 if (pane && round == pane->m_findRound)
                                     pane->showFindResult(r.activeMatch(), r.numberOfMatches());
                             });
}

void ArchivePane::showFindResult(int active, int count) {
    m_lastActive = active;
    m_lastCount = count;
    m_findResult->setText(count > 0 ? text(msg::FindCount, {QString::number(active), QString::number(count)})
                                    : text(msg::FindNotFound));
    QPalette tinted;
    if (count == 0) tinted.setColor(QPalette::Base, QColor(0xff, 0xd6, 0xd6));
    m_findText->setPalette(tinted);
}

// --- Zoom ------------------------------------------------------------------------------------------------

void ArchivePane::setZoomPercent(int percent) {
    m_zoom = nearestZoomLevel(percent);
    applyZoom();
}

void ArchivePane::zoomIn() {
    stepZoom(1);
}

void ArchivePane::zoomOut() {
    stepZoom(-1);
}

void ArchivePane::resetZoom() {
    setZoomPercent(100);
}

void ArchivePane::stepZoom(int direction) {
    const auto at = std::find(kZoomLevels.begin(), kZoomLevels.end(), m_zoom);
    const auto index = std::clamp<std::ptrdiff_t>(at - kZoomLevels.begin() + direction, 0,
                                                  std::ptrdiff_t(kZoomLevels.size()) - 1);
    setZoomPercent(kZoomLevels[std::size_t(index)]);
}

void ArchivePane::applyZoom() {
    if (m_view && !qFuzzyCompare(m_view->zoomFactor(), m_zoom / 100.0)) m_view->setZoomFactor(m_zoom / 100.0);
    m_zoomLevel->setText(QStringLiteral("%1 %").arg(m_zoom));
    m_zoomIn->setEnabled(m_zoom < kZoomLevels.back());
    m_zoomOut->setEnabled(m_zoom > kZoomLevels.front());
}

// --- Print and PDF ---------------------------------------------------------------------------------------

void ArchivePane::print() {
    if (!m_view || m_printer) return;
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setDocName(m_view->title());
    if (!m_choosePrinter(window(), *printer)) return;
    m_printer = std::move(printer);
    m_view->print(m_printer.get());
}

void ArchivePane::saveAsPdf() {
    if (!m_view) return;
    QString folder = m_pdfFolder;
    if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QFileInfo(folder).isDir()) folder = QDir::homePath();
    const QString suggested = QDir(folder).filePath(fileNameOf(m_view->title()) + QStringLiteral(".pdf"));
    QString file = m_chooseFile(window(), text(msg::PdfTitle), suggested, text(msg::PdfFilter));
    if (file.isEmpty()) return;
    if (QFileInfo(file).suffix().isEmpty()) file += QStringLiteral(".pdf");
    m_pdfFolder = QFileInfo(file).absolutePath();
    m_view->printToPdf(file);
}

// --- The menu --------------------------------------------------------------------------------------------

void ArchivePane::showMenu(const QPoint& pos) {
    const QWebEngineContextMenuRequest* request = m_view->lastContextMenuRequest();
    m_menuLink = request ? request->linkUrl() : QUrl();
    m_menu->popup(m_view->mapToGlobal(pos));
}

QUrl ArchivePane::menuTarget() const {
    if (m_menuLink.isValid() && (isWebAddress(m_menuLink) || m_menuLink.scheme() == m_view->url().scheme()))
        return m_menuLink;
    return m_view->url();
}

void ArchivePane::copyAddress() {
    if (m_view) QApplication::clipboard()->setText(m_view->displayAddress(menuTarget()));
}

void ArchivePane::openInBrowser() {
    if (!m_view) return;
    const QUrl target = menuTarget();
    if (target.scheme() == QLatin1String("about")) return;
    emit openOnDesktop(m_view->displayAddress(target));
}

} // namespace marovex
