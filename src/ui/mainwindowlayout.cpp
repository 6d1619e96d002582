// The main window: building its controls.
#include "ui/mainwindow.h"

#include "ui/mainwindowparts.h"

#include "app/windowstate.h"
#include "catalogue/articleview.h"
#include "catalogue/catalogue.h"
#include "indexer/archive.h"
#include "search/findcommand.h"
#include "ui/aboutdialog.h"
#include "ui/archivepane.h"
#include "ui/archiveview.h"
#include "ui/articlegriddelegate.h"
#include "ui/articlemodel.h"
#include "ui/cataloguegrid.h"
#include "ui/icons.h"
#include "ui/indexingdialog.h"
#include "ui/placement.h"
#include "ui/qtconvert.h"
#include "ui/qttranslations.h"
#include "ui/searchprogressdialog.h"
#include "ui/settingsdialog.h"
#include "ui/splashscreen.h"
#include "ui/topicmodel.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace marovex {

using qtconvert::toQColor;
using namespace mainwindowparts;
using icons::Icon;

// --- Building the window ------------------------------------------------------------------------------

void MainWindow::buildActions() {
    auto command = [this](QAction*& slot, const char* name, const QString& text, Icon icon,
                          void (MainWindow::*run)()) {
        slot = new QAction(text, this);
        slot->setObjectName(QString::fromLatin1(name));
        if (icon != Icon::None) slot->setIcon(icons::toolIcon(icon));
        connect(slot, &QAction::triggered, this, run);
        addAction(slot); // shortcuts serve the whole window
    };
    command(m_findAction, "Action_Find", tr("Search"), Icon::Binoculars, &MainWindow::runSearch);
    command(m_clearResultsAction, "Find_End", tr("Clear search results"), Icon::RedCross,
            &MainWindow::clearSearchResults);
    command(m_indexAction, "GoIndex", tr("Index archive..."), Icon::WindowPen,
            &MainWindow::openIndexingDialog);
    command(m_settingsAction, "SetProperties", tr("Settings..."), Icon::Wrench,
            &MainWindow::openSettingsDialog);
    command(m_clearHistoryAction, "Clear_History", tr("Clear search history"), Icon::None,
            &MainWindow::clearSearchHistory);
    command(m_topicFilterAction, "view_filter_on_off", tr("Topic filter"), Icon::LetterFGreen,
            &MainWindow::toggleTopicFilter);
    command(m_helpAction, "help", tr("Help"), Icon::BookHelp, &MainWindow::openHelp);
    command(m_exitAction, "Exit", tr("Exit"), Icon::DoorLeave, &MainWindow::exitApplication);
    command(m_whatsNewAction, "Action1", tr("What's new"), Icon::None, &MainWindow::openWhatsNew);
    command(m_aboutAction, "ReadAbut", tr("About"), Icon::InfoWhite, &MainWindow::showAboutDialog);
    command(m_firstRowAction, "Go_First", tr("First row"), Icon::ArrowUp, &MainWindow::goToFirstRow);
    command(m_lastRowAction, "Go_Last", tr("Last row"), Icon::ArrowDown, &MainWindow::goToLastRow);
    command(m_searchFocusAction, "Focus_Search", tr("Search box"), Icon::None, &MainWindow::focusSearchBox);
    command(m_topicPanelAction, "Topic_Panel", tr("Show or hide topics"), Icon::LetterFGreen,
            &MainWindow::toggleTopicPanel);
    m_topicPanelAction->setCheckable(true);
    m_helpAction->setShortcut(QKeySequence(Qt::Key_F1));
    m_exitAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_X));
    // As in web browsers (Ctrl+L) and documentation browsers (Ctrl+K).
    m_searchFocusAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::CTRL | Qt::Key_K)});
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
    auto popupItem = [this](const char* name, const QString& text, void (MainWindow::*run)()) {
        auto* a = m_rowMenu->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, run);
    };
    popupItem("ElMenuItem1", QStringLiteral("Открыть в MSIE"), &MainWindow::openCurrentRowInMsie);
    popupItem("ElMenuItem2", QStringLiteral("Открыть в Opera"), &MainWindow::openCurrentRowInOpera);
    popupItem("ElMenuItem3", QStringLiteral("Открыть в Default"),
              &MainWindow::openCurrentRowInDefaultBrowser);
}

void MainWindow::buildCommandBar() {
    // The two tool bars stand side by side in the window's own top tool bar area, where the user may drag
    // them. A tool bar short of room lays its hidden controls out in rows over the window below it when its
    // extension button is pressed; inside a band of one row's height those rows would be cut off, and Qt
    // would fall back to an extension menu that lists actions only, never controls such as these.
    auto toolBar = [this](const char* name) {
        auto* bar = new QToolBar(this);
        bar->setObjectName(QString::fromLatin1(name));
        bar->setAllowedAreas(Qt::TopToolBarArea);
        bar->setFloatable(false);
        bar->setMovable(true);
        bar->setIconSize(QSize(16, 16));
        bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        bar->setContextMenuPolicy(Qt::PreventContextMenu); // no menu hiding the tool bars
        addToolBar(Qt::TopToolBarArea, bar);
        return bar;
    };
    auto button = [](QToolBar* bar, const char* name, Icon icon, QAction* command) {
        auto* b = new QToolButton(bar);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoRaise(true);
        if (command) b->setDefaultAction(command);
        if (icon != Icon::None) b->setIcon(icons::toolIcon(icon));
        bar->addWidget(b);
        return b;
    };
    auto separator = [](QToolBar* bar, const char* name, int width) {
        auto* gap = new QWidget(bar);
        gap->setObjectName(QString::fromLatin1(name));
        gap->setFixedWidth(width);
        bar->addWidget(gap);
    };

    QToolBar* bar1 = toolBar("ToolBar1");
    auto* label = new QLabel(QStringLiteral("Поиск "), bar1);
    label->setObjectName(QStringLiteral("Label1"));
    label->setContentsMargins(4, 0, 2, 0);
    bar1->addWidget(label);
    m_searchBox = new QComboBox(bar1);
    m_searchBox->setObjectName(QStringLiteral("FlatComboBox1"));
    m_searchBox->setEditable(true);
    m_searchBox->setInsertPolicy(QComboBox::NoInsert);
    m_searchBox->setFixedWidth(238);
    m_searchBox->setToolTip(QStringLiteral("Строка поиска"));
    label->setBuddy(m_searchBox);
    bar1->addWidget(m_searchBox);
    // History entries holding the typed text are offered in a list below the box, and the text stays as
    // typed until one is chosen. (The box's own completion filled in the rest of an entry, selected, and
    // Enter then searched that.)
    auto* suggestions = new QCompleter(m_searchBox->model(), m_searchBox);
    suggestions->setCaseSensitivity(Qt::CaseInsensitive);
    suggestions->setFilterMode(Qt::MatchContains);
    suggestions->setCompletionMode(QCompleter::PopupCompletion);
    m_searchBox->setCompleter(suggestions);
    m_suggestions = suggestions->popup();
    m_suggestions->installEventFilter(this); // after the completer's own filter, so it runs first
    m_searchEdit = m_searchBox->lineEdit();
    // Enter in the search box runs the search command. A key typed into the box reaches its line edit
    // through the box itself (not through event filters), and the line edit reports Return and keypad
    // Enter once as returnPressed.
    connect(m_searchBox->lineEdit(), &QLineEdit::returnPressed, m_findAction, &QAction::trigger);
    m_matchCaseButton = button(bar1, "ToolButton5", Icon::LettersAa, nullptr);
    m_matchCaseButton->setCheckable(true);
    m_wholeWordsButton = button(bar1, "ToolButton3", Icon::LettersAbcUnderlined, nullptr);
    m_wholeWordsButton->setCheckable(true);
    m_scopeBox = new QComboBox(bar1);
    m_scopeBox->setObjectName(QStringLiteral("FlatComboBox3"));
    m_scopeBox->addItems({QStringLiteral("В названиях"), QStringLiteral("В названиях & В тексе")});
    m_scopeBox->setMinimumWidth(145);
    m_scopeBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_scopeBox->setToolTip(QStringLiteral("Область поиска"));
    bar1->addWidget(m_scopeBox);
    button(bar1, "ToolButton11", Icon::Binoculars, m_findAction);
    m_clearResultsButton = button(bar1, "ToolButton10", Icon::RedCross, nullptr);
    m_clearResultsButton->setEnabled(false);
    connect(m_clearResultsButton, &QToolButton::clicked, m_clearResultsAction, &QAction::trigger);

    QToolBar* bar2 = toolBar("ToolBar2");
    button(bar2, "ToolButton15", Icon::ArrowUp, m_firstRowAction);
    button(bar2, "ToolButton16", Icon::ArrowDown, m_lastRowAction);
    button(bar2, "ToolButton17", Icon::LetterFGreen, m_topicPanelAction);
    separator(bar2, "ToolButton18", 9);
    button(bar2, "ToolButton19", Icon::Wrench, m_settingsAction);
    separator(bar2, "ToolButton20", 8);
    button(bar2, "ToolButton21", Icon::BookHelp, m_helpAction);
    button(bar2, "ToolButton22", Icon::InfoWhite, m_aboutAction);

    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(client);
}

void MainWindow::buildClientArea() {
    m_splitter = new QSplitter(Qt::Vertical, centralWidget());
    m_splitter->setObjectName(QStringLiteral("Splitter1"));
    m_splitter->setHandleWidth(3);
    m_splitter->setChildrenCollapsible(false);
    centralWidget()->layout()->addWidget(m_splitter);

    m_gridArea = new QWidget(m_splitter);
    m_gridArea->setObjectName(QStringLiteral("Panel1"));
    m_gridArea->setMinimumHeight(kMinimumPaneHeight);
    auto* gridLayout = new QVBoxLayout(m_gridArea);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    m_articleGrid = new CatalogueGrid(m_gridArea);
    m_articleGrid->setObjectName(QStringLiteral("DBGridEh_MVX2"));
    gridLayout->addWidget(m_articleGrid);
    m_articleGrid->verticalHeader()->setDefaultSectionSize(m_articleGrid->fontMetrics().height() + 4);
    m_articleGrid->verticalHeader()->setMinimumWidth(12);
    m_articleGrid->horizontalHeader()->setSortIndicatorShown(true);
    m_articleGrid->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_delegate = new ArticleGridDelegate(m_articleGrid);
    m_delegate->setFavouriteMark(icons::favouriteMark());
    m_delegate->setFindColor(toQColor(m_findColor));
    m_delegate->setLinkFont(m_articleGrid->font(), toQColor(m_linkColor));
    m_articleGrid->setItemDelegate(m_delegate);
    m_gridArea->installEventFilter(this);
    m_articleGrid->viewport()->installEventFilter(this);

    // The topic panel floats over the grid's top right corner.
    m_topicPanel = new QFrame(m_gridArea);
    m_topicPanel->setObjectName(QStringLiteral("Panel3"));
    m_topicPanel->setFrameShape(QFrame::Panel);
    m_topicPanel->setFrameShadow(QFrame::Sunken);
    m_topicPanel->setAutoFillBackground(true);
    QPalette white = m_topicPanel->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_topicPanel->setPalette(white);
    m_topicPanel->resize(kTopicPanelWidth, kTopicPanelHeight);
    auto* panelLayout = new QVBoxLayout(m_topicPanel);
    panelLayout->setContentsMargins(2, 2, 2, 2);
    panelLayout->setSpacing(1);
    auto* header = new QHBoxLayout;
    m_topicPanelHandle = new QLabel(m_topicPanel);
    m_topicPanelHandle->setObjectName(QStringLiteral("Image1"));
    m_topicPanelHandle->setPixmap(
        icons::toolIcon(Icon::LetterFGreen).pixmap(QSize(20, 20), devicePixelRatioF()));
    m_topicPanelHandle->setFixedSize(20, 20);
    m_topicPanelHandle->setCursor(Qt::PointingHandCursor);
    m_topicPanelHandle->installEventFilter(this);
    header->addWidget(m_topicPanelHandle);
    header->addStretch();
    m_topicFilterButton = new QToolButton(m_topicPanel);
    m_topicFilterButton->setObjectName(QStringLiteral("SpeedButton1"));
    m_topicFilterButton->setText(messageText(msg::FilterOnButton));
    m_topicFilterButton->setAutoRaise(true);
    m_topicFilterButton->setMinimumSize(47, 16);
    connect(m_topicFilterButton, &QToolButton::clicked, this, &MainWindow::filterByTickedTopics);
    header->addWidget(m_topicFilterButton);
    panelLayout->addLayout(header);
    auto* bevel1 = new QFrame(m_topicPanel);
    bevel1->setObjectName(QStringLiteral("Bevel1"));
    bevel1->setFrameShape(QFrame::HLine);
    bevel1->setFrameShadow(QFrame::Sunken);
    panelLayout->addWidget(bevel1);
    m_topicGrid = new CatalogueGrid(m_topicPanel);
    m_topicGrid->setObjectName(QStringLiteral("DBGridEh_MVX1"));
    m_topicGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_topicGrid->horizontalHeader()->hide();
    m_topicGrid->verticalHeader()->hide();
    m_topicGrid->setShowGrid(false);
    m_topicGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_topicGrid->verticalHeader()->setDefaultSectionSize(m_topicGrid->fontMetrics().height() + 2);
    panelLayout->addWidget(m_topicGrid, 1);
    m_topicPanel->installEventFilter(this);
    m_topicPanel->hide();

    // The embedded browser's pane, shown only while that viewer is chosen; made once, its layout places the
    // view between its bars.
    m_viewPane = new ArchivePane(m_splitter);
    m_viewPane->setObjectName(QStringLiteral("Panel2"));
    m_viewPane->setAutoFillBackground(true);
    m_viewPane->setPalette(white);
    m_viewPane->hide();
    m_viewPane->setTextSource([this](int key, const QStringList& args) {
        std::vector<std::string> values;
        for (const QString& a : args)
            values.push_back(a.toStdString());
        return QString::fromStdString(fillPattern(m_session.messages[key], values));
    });
    connect(m_viewPane, &ArchivePane::statusTextChanged, this, &MainWindow::showViewStatusText);
    connect(m_viewPane, &ArchivePane::pointerEntered, this, &MainWindow::onPointerEntersView);
    connect(m_viewPane, &ArchivePane::failed, this,
            [this](const QString& text) { present(MessageKind::Error, text); });
    connect(m_viewPane, &ArchivePane::openOnDesktop, this, &MainWindow::openOnDesktop);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->installEventFilter(this);
    connect(m_splitter, &QSplitter::splitterMoved, this,
            [this] { m_upperPanelHeight = m_gridArea->height(); });

    // Handlers of the grids.
    CatalogueGrid* grid = m_articleGrid;
    connect(grid, &CatalogueGrid::buttonPressed, this, &MainWindow::onArticleGridPressed);
    connect(grid, &CatalogueGrid::buttonReleased, this, &MainWindow::onArticleGridReleased);
    connect(grid, &CatalogueGrid::keyPressed, this, &MainWindow::onArticleGridKey);
    connect(grid, &CatalogueGrid::pointerEntered, this, &MainWindow::onPointerEntersArticleGrid);
    connect(grid, &QAbstractItemView::clicked, this, &MainWindow::onArticleCellClicked);
    connect(grid, &QAbstractItemView::doubleClicked, this, &MainWindow::onArticleGridDoubleClicked);
    connect(grid->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        onArticleTitleClicked(column);
        sortByTitle(column);
    });
    connect(m_topicGrid, &CatalogueGrid::pointerEntered, this, &MainWindow::onPointerEntersTopicGrid);
    connect(m_topicGrid, &QAbstractItemView::doubleClicked, this, &MainWindow::toggleCurrentTopic);
    // The grid has made the row of the check box current.
    connect(m_topicGrid, &CatalogueGrid::checkBoxClicked, this, &MainWindow::toggleCurrentTopic);
    connect(m_topicGrid, &CatalogueGrid::keyPressed, this, &MainWindow::onTopicGridKey);
}

void MainWindow::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    bar->setMinimumHeight(19);
    const int widths[3] = {kStatusPanelWidths[0], kStatusPanelWidths[1], 0};
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i + 1));
        panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        panel->setContentsMargins(3, 0, 3, 0);
        panel->setTextFormat(Qt::PlainText);
        if (widths[i] > 0)
            panel->setFixedWidth(widths[i]);
        else
            panel->setMinimumWidth(
                1); // the last panel takes the rest; long texts are cut, not widening the window
        bar->addPermanentWidget(panel, widths[i] > 0 ? 0 : 1);
        m_panels[i] = panel;
    }
}

} // namespace marovex
