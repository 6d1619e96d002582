// The main window: its commands, menus and tool bars, and what it does on its parts' signals.
#include "ui/mainwindow.h"

#include "catalogue/catalogue.h"
#include "ui/archivepane.h"
#include "ui/archiveview.h"
#include "ui/articlegrid.h"
#include "ui/articlemodel.h"
#include "ui/clientarea.h"
#include "ui/commandguard.h"
#include "ui/icons.h"
#include "ui/searchbar.h"
#include "ui/statusbar.h"
#include "ui/topicpanel.h"

#include <QAction>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

namespace marovex {

using icons::Icon;

void MainWindow::buildActions() {
    auto command = [this](QAction*& slot, const char* name, const QString& text, Icon icon, auto run) {
        slot = new QAction(text, this);
        slot->setObjectName(QString::fromLatin1(name));
        if (icon != Icon::None) slot->setIcon(icons::toolIcon(icon));
        connect(slot, &QAction::triggered, this, run);
        addAction(slot); // shortcuts serve the whole window
    };
    command(m_findAction, "Action_Find", tr("Search"), Icon::Binoculars, &MainWindow::runSearch);
    command(m_clearResultsAction, "Find_End", tr("Clear search results"), Icon::RedCross, &MainWindow::clearSearchResults);
    command(m_indexAction, "GoIndex", tr("Index archive..."), Icon::WindowPen, &MainWindow::openIndexingDialog);
    command(m_settingsAction, "SetProperties", tr("Settings..."), Icon::Wrench, &MainWindow::openSettingsDialog);
    command(m_clearHistoryAction, "Clear_History", tr("Clear search history"), Icon::None,
            &MainWindow::clearSearchHistory);
    command(m_topicFilterAction, "view_filter_on_off", tr("Topic filter"), Icon::LetterFGreen, &MainWindow::toggleTopicFilter);
    command(m_helpAction, "help", tr("Help"), Icon::BookHelp, [this] { m_opener->openHelp(); });
    command(m_exitAction, "Exit", tr("Exit"), Icon::DoorLeave, &QWidget::close);
    command(m_whatsNewAction, "Action1", tr("What's new"), Icon::None, [this] { m_opener->openWhatsNew(); });
    command(m_aboutAction, "ReadAbut", tr("About"), Icon::InfoWhite, &MainWindow::showAboutDialog);
    auto move = [this](auto to) {
        return [this, to] {
            runReported(std::bind_front(&Messenger::error, &m_messages), [&] {
                (m_session.articles().*to)();
            });
        };
    };
    command(m_firstRowAction, "Go_First", tr("First row"), Icon::ArrowUp, move(&RecordTable::first));
    command(m_lastRowAction, "Go_Last", tr("Last row"), Icon::ArrowDown, move(&RecordTable::last));
    command(m_searchFocusAction, "Focus_Search", tr("Search box"), Icon::None, [this] { m_searchBar->focusSearchBox(); });
    command(m_topicPanelAction, "Topic_Panel", tr("Show or hide topics"), Icon::LetterFGreen, [this] {
        m_topicPanel->toggle();
        m_topicPanelAction->setChecked(!m_topicPanel->isHidden());
    });
    m_topicPanelAction->setCheckable(true);
    m_helpAction->setShortcut(QKeySequence(Qt::Key_F1));
    m_exitAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_X));
    // As in web browsers (Ctrl+L) and documentation browsers (Ctrl+K).
    m_searchFocusAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::CTRL | Qt::Key_K)});
}

void MainWindow::buildMenus() {
    menuBar()->setObjectName(QStringLiteral("ElMainMenu1"));
    // Menu items are actions of their own, named as the language files address them; each runs its command.
    auto item = [this](QMenu* menu, const char* name, QAction* command, Icon icon) {
        auto* a = menu->addAction(command->text());
        a->setObjectName(QString::fromLatin1(name));
        if (icon != Icon::None) a->setIcon(icons::toolIcon(icon));
        if (!command->shortcut().isEmpty()) {
            // Shown beside the text; the command's own shortcut serves the window.
            a->setShortcut(command->shortcut());
            a->setShortcutContext(Qt::WidgetShortcut);
        }
        connect(a, &QAction::triggered, command, &QAction::trigger);
        connect(command, &QAction::changed, a, [a, command] { a->setEnabled(command->isEnabled()); });
        return a;
    };
    auto separator = [](QMenu* menu, const char* name) {
        menu->addSeparator()->setObjectName(QString::fromLatin1(name));
    };

    QMenu* file = menuBar()->addMenu(QStringLiteral("Файл"));
    file->menuAction()->setObjectName(QStringLiteral("ElMenuItem4"));
    item(file, "ElMenuItem7", m_indexAction, Icon::WindowPen);
    separator(file, "ElMenuItem8");
    item(file, "ElMenuItem9", m_exitAction, Icon::DoorLeave);

    QMenu* setup = menuBar()->addMenu(QStringLiteral("Настройка"));
    setup->menuAction()->setObjectName(QStringLiteral("ElMenuItem5"));
    item(setup, "ElMenuItem10", m_settingsAction, Icon::Wrench);
    // The topic panel is reached from the menu too: its button may be hidden in a tool bar short of room.
    QAction* topics = item(setup, "ElMenuItem15", m_topicPanelAction, Icon::LetterFGreen);
    topics->setText(QStringLiteral("Показать или скрыть рубрики"));
    topics->setCheckable(true);
    connect(m_topicPanelAction, &QAction::toggled, topics, &QAction::setChecked);

    QMenu* info = menuBar()->addMenu(QStringLiteral("Инфо"));
    info->menuAction()->setObjectName(QStringLiteral("ElMenuItem6"));
    item(info, "ElMenuItem11", m_helpAction, Icon::BookHelp);
    item(info, "ElMenuItem12", m_whatsNewAction, Icon::None)->setText(QStringLiteral("Что нового"));
    separator(info, "ElMenuItem13");
    item(info, "ElMenuItem14", m_aboutAction, Icon::InfoWhite);

    // The row menu of the article grid: the current row in another viewer, the setting left as it is.
    m_rowMenu = new QMenu(this);
    m_rowMenu->setObjectName(QStringLiteral("ElPopupMenu1"));
    auto popupItem = [this](const char* name, const QString& text, Opener::Viewer viewer) {
        auto* a = m_rowMenu->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this,
                [this, viewer] { m_opener->openRow(m_articleGrid->selectedField(), viewer); });
    };
    popupItem("ElMenuItem1", QStringLiteral("Открыть в MSIE"), Opener::Viewer::Msie);
    popupItem("ElMenuItem2", QStringLiteral("Открыть в Opera"), Opener::Viewer::Opera);
    popupItem("ElMenuItem3", QStringLiteral("Открыть в Default"), Opener::Viewer::DefaultBrowser);
}

void MainWindow::buildToolBars() {
    // The two tool bars stand side by side in the window's own top tool bar area, where the user may drag
    // them. A tool bar short of room lays its hidden controls out in rows over the window below it when its
    // extension button is pressed; inside a band of one row's height those rows would be cut off, and Qt
    // would fall back to an extension menu that lists actions only, never controls such as these.
    auto place = [this](QToolBar* bar) {
        bar->setAllowedAreas(Qt::TopToolBarArea);
        bar->setFloatable(false);
        bar->setMovable(true);
        bar->setIconSize(QSize(16, 16));
        bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        bar->setContextMenuPolicy(Qt::PreventContextMenu); // no menu hiding the tool bars
        addToolBar(Qt::TopToolBarArea, bar);
    };
    m_searchBar = new SearchBar(m_findAction, this);
    place(m_searchBar);
    connect(m_searchBar, &SearchBar::searchRequested, m_findAction, &QAction::trigger);
    connect(m_searchBar, &SearchBar::clearRequested, m_clearResultsAction, &QAction::trigger);

    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ToolBar2"));
    place(bar);
    auto button = [bar](const char* name, Icon icon, QAction* command) {
        auto* b = new QToolButton(bar);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoRaise(true);
        b->setDefaultAction(command);
        b->setIcon(icons::toolIcon(icon));
        bar->addWidget(b);
    };
    auto separator = [bar](const char* name, int width) {
        auto* gap = new QWidget(bar);
        gap->setObjectName(QString::fromLatin1(name));
        gap->setFixedWidth(width);
        bar->addWidget(gap);
    };
    button("ToolButton15", Icon::ArrowUp, m_firstRowAction);
    button("ToolButton16", Icon::ArrowDown, m_lastRowAction);
    button("ToolButton17", Icon::LetterFGreen, m_topicPanelAction);
    separator("ToolButton18", 9);
    button("ToolButton19", Icon::Wrench, m_settingsAction);
    separator("ToolButton20", 8);
    button("ToolButton21", Icon::BookHelp, m_helpAction);
    button("ToolButton22", Icon::InfoWhite, m_aboutAction);
}

void MainWindow::followClientArea() {
    // The keys follow the pointer into the grids and the page while the application is active.
    auto followPointer = [this](QWidget* target) {
        if (QGuiApplication::applicationState() == Qt::ApplicationActive) giveFocus(target);
    };
    ArticleGrid* grid = m_articleGrid;
    grid->setOpenOnSingleClick([this] { return m_session.ini.onclick; });
    connect(grid, &ArticleGrid::focusWanted, this, [this] { giveFocus(m_articleGrid); });
    connect(grid, &CatalogueGrid::pointerEntered, this, [=] { followPointer(grid); });
    connect(grid, &ArticleGrid::openRequested, this, &MainWindow::openCurrentRow);
    connect(grid, &ArticleGrid::rowMenuRequested, this, [this](const QModelIndex& cell, const QPoint& at) {
        if (static_cast<viewer::Viewer>(m_session.ini.select_browser) != viewer::Viewer::Pane) return;
        if (cell.isValid()) m_articleGrid->setCurrentIndex(cell);
        m_rowMenu->popup(at);
    });
    connect(grid, &ArticleGrid::rowChosen, this, [this](int row) {
        if (row == m_session.articles().position()) return;
        // Moving stores a pending edit; a refused store has shown its message already.
        runReported(std::bind_front(&Messenger::error, &m_messages), [&] {
            m_session.articles().moveTo(row);
        });
    });
    connect(grid->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (m_service.isLent()) return;
        runReported(std::bind_front(&Messenger::error, &m_messages), [&] {
            const std::string sorted =
                catalogue::sortByTitle(m_session.articles(), ArticleModel::fieldName(column).toStdString());
            if (sorted.empty()) return;
            m_articleGrid->setSortColumn(QString::fromStdString(sorted));
            m_articleGrid->showCurrentRowInContext();
        });
    });

    CatalogueGrid* topics = m_topicPanel->grid();
    connect(topics, &CatalogueGrid::pointerEntered, this, [=] { followPointer(topics); });
    connect(m_topicPanel, &TopicPanel::filterRequested, this, [this] { applyTopicFilter(false); });
    connect(m_topicPanel, &TopicPanel::tickRequested, this, [this] {
        if (m_service.isLent()) return;
        runReported(std::bind_front(&Messenger::error, &m_messages), [&] {
            if (catalogue::toggleTopic(m_session.topics(), m_session.articles(), m_session.topicFilter()))
                m_statusBar->setText(1, m_messages.text(language::kArticleCountText) + QStringLiteral("  ") +
                                            QString::number(m_session.articles().rowCount()));
        });
    });

    m_pane->setTextSource([this](int key, const QStringList& args) {
        std::vector<std::string> values;
        for (const QString& a : args)
            values.push_back(a.toStdString());
        return QString::fromStdString(fillPattern(m_session.messages[key], values));
    });
    connect(m_pane, &ArchivePane::statusTextChanged, this, [this](const QString& text) { m_statusBar->setText(3, text); });
    // Not while the user types into the pane's find bar: the pointer passing over the page would take the keys.
    connect(m_pane, &ArchivePane::pointerEntered, this, [this, followPointer] {
        if (webBrowser() && !m_pane->findBarHasFocus()) followPointer(webBrowser());
    });
    connect(m_pane, &ArchivePane::failed, this,
            [this](const QString& text) { m_messages.present(MessageKind::Error, text); });
    connect(m_pane, &ArchivePane::openOnDesktop, m_opener, &Opener::openOnDesktop);
}

} // namespace marovex
