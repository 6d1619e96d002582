#include "ui/mainwindow.h"

#include "app/gridstate.h"
#include "base/cp1251.h"
#include "catalogue/articleview.h"
#include "catalogue/catalogue.h"
#include "indexer/archive.h"
#include "search/findcommand.h"
#include "ui/aboutdialog.h"
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

namespace {

using qtconvert::fromCp1251;
using qtconvert::toCp1251;
using qtconvert::toQColor;

void defaultPresenter(QWidget* parent, MainWindow::MessageKind kind, const QString& text) {
    ShowMessageBox(parent, kind, text);
}

// What an opening asks of the window, answered by the window's own functions.
class MainWindowViewerHooks final : public viewer::ViewerHooks {
public:
    std::function<ArchiveView*()> browser;
    std::function<std::filesystem::path()> archiveRoot;
    std::function<void(const QString&)> shellOpener;
    std::function<void(viewer::MessageIcon, const QString&)> message;
    std::function<void(const QString&)> caption;
    std::function<void()> toggle;

    bool embeddedBrowserPresent() override { return browser() != nullptr; }
    void navigate(const std::filesystem::path& file) override {
        if (ArchiveView* view = browser()) {
            // The pane shows the archive alone; the settings may have named another one since.
            view->setArchiveRoot(archiveRoot());
            view->Navigate(file);
        }
    }
    void shellOpen(const std::filesystem::path& file) override { shellOpener(toQString(file)); }
    void showMessage(viewer::MessageIcon icon, const std::string& text) override {
        message(icon, QString::fromStdString(text));
    }
    void setCaption(const std::string& text) override { caption(QString::fromStdString(text)); }
    void toggleFavourite() override { toggle(); }

private:
    static QString toQString(const std::filesystem::path& file) {
        const std::u8string name = file.u8string();
        return QString::fromUtf8(reinterpret_cast<const char*>(name.data()), qsizetype(name.size()));
    }
};

void defaultShellOpener(const QString& file) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

// Grid columns: built-in width and smallest width.
struct ColumnLayout {
    int width, minimum;
};
constexpr ColumnLayout kColumns[ArticleModel::ColumnCount] = {
    {39, 5}, {116, 15}, {31, 15}, {97, 15}, {460, 15}};

constexpr int kStatusPanelWidths[2] = {140, 150};
constexpr int kTopicPanelWidth = 229;
constexpr int kTopicPanelHeight = 157;
constexpr int kTopicPanelCollapsedHeight = 25;
constexpr int kMinimumPaneHeight = 25;

const QString kRowCountText = QStringLiteral("Всего статей : ");

} // namespace

MainWindow::MainWindow(std::filesystem::path appDir, MessagePresenter presenter, QWidget* parent)
    : QMainWindow(parent), m_session(std::move(appDir)),
      m_presenter(presenter ? std::move(presenter) : MessagePresenter(defaultPresenter)),
      m_shellOpener(defaultShellOpener) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kApplicationTitle);
    UseQtTranslations(true); // as the built-in texts, until a language file says otherwise
    setWindowIcon(icons::ImageList1(9));
    auto hooks = std::make_unique<MainWindowViewerHooks>();
    hooks->browser = [this] { return m_browser; };
    hooks->archiveRoot = [this] { return indexer::ArchiveFolderPath(m_session.archiveFolder); };
    hooks->shellOpener = [this](const QString& file) { m_shellOpener(file); };
    hooks->message = [this](viewer::MessageIcon icon, const QString& text) {
        present(icon == viewer::MessageIcon::Error ? MessageKind::ErrorYes : MessageKind::InformationYes,
                text);
    };
    hooks->caption = [this](const QString& text) { setWindowTitle(text); };
    hooks->toggle = [this] { catalogue::ToggleFavourite(m_session.articles()); };
    m_viewerHooks = std::move(hooks);
    buildActions();
    buildMenus();
    buildCommandBar();
    buildClientArea();
    buildStatusBar();
    // The design size: a client area of 789 by 333 pixels below the menu.
    resize(789, 333 + menuBar()->sizeHint().height());
    startUp();
}

MainWindow::~MainWindow() {
    waitForWorker();
    delete m_browser; // its page goes before the window's other children
    m_browser = nullptr;
    if (m_model) {
        m_articleGrid->setModel(nullptr);
        delete m_model;
        m_model = nullptr;
    }
    if (m_topicModel) {
        m_topicGrid->setModel(nullptr);
        delete m_topicModel;
        m_topicModel = nullptr;
    }
    // The topic table goes with the main window; it is written back here when it changed.
    const Message error = m_session.closeTopicTable();
    if (!error.empty()) present(MessageKind::Error, messageFor(error));
}

// --- Building the window ------------------------------------------------------------------------------

void MainWindow::buildActions() {
    auto command = [this](QAction*& slot, const char* name, const QString& text, int icon,
                          void (MainWindow::*run)()) {
        slot = new QAction(text, this);
        slot->setObjectName(QString::fromLatin1(name));
        if (icon >= 0) slot->setIcon(icons::ImageList1(icon));
        connect(slot, &QAction::triggered, this, run);
        addAction(slot); // shortcuts serve the whole window
    };
    command(m_findAction, "Action_Find", tr("Search"), 9, &MainWindow::runSearch);
    command(m_clearResultsAction, "Find_End", tr("Clear search results"), 11,
            &MainWindow::clearSearchResults);
    command(m_indexAction, "GoIndex", tr("Index archive..."), 7, &MainWindow::openIndexingDialog);
    command(m_settingsAction, "SetProperties", tr("Settings..."), 2, &MainWindow::openSettingsDialog);
    command(m_clearHistoryAction, "Clear_History", tr("Clear search history"), -1,
            &MainWindow::clearSearchHistory);
    command(m_topicFilterAction, "view_filter_on_off", tr("Topic filter"), 5, &MainWindow::toggleTopicFilter);
    command(m_helpAction, "help", tr("Help"), 8, &MainWindow::openHelp);
    command(m_exitAction, "Exit", tr("Exit"), 4, &MainWindow::exitApplication);
    command(m_whatsNewAction, "Action1", tr("What's new"), -1, &MainWindow::openWhatsNew);
    command(m_aboutAction, "ReadAbut", tr("About"), 3, &MainWindow::showAboutDialog);
    command(m_firstRowAction, "Go_First", tr("First row"), 0, &MainWindow::goToFirstRow);
    command(m_lastRowAction, "Go_Last", tr("Last row"), 1, &MainWindow::goToLastRow);
    m_helpAction->setShortcut(QKeySequence(Qt::Key_F1));
    m_exitAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_X));
}

void MainWindow::buildMenus() {
    menuBar()->setObjectName(QStringLiteral("ElMainMenu1"));
    // Menu items are actions of their own, named as the language files address them; each runs its command.
    auto item = [this](QMenu* menu, const char* name, QAction* command, int icon) {
        auto* a = menu->addAction(command->text());
        a->setObjectName(QString::fromLatin1(name));
        if (icon >= 0) a->setIcon(icons::ImageList1(icon));
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
    item(file, "ElMenuItem7", m_indexAction, 7);
    separator(file, "ElMenuItem8");
    item(file, "ElMenuItem9", m_exitAction, 4);

    QMenu* setup = menuBar()->addMenu(QStringLiteral("Настройка"));
    setup->menuAction()->setObjectName(QStringLiteral("ElMenuItem5"));
    item(setup, "ElMenuItem10", m_settingsAction, 2);

    QMenu* info = menuBar()->addMenu(QStringLiteral("Инфо"));
    info->menuAction()->setObjectName(QStringLiteral("ElMenuItem6"));
    item(info, "ElMenuItem11", m_helpAction, 8);
    item(info, "ElMenuItem12", m_whatsNewAction, -1)->setText(QStringLiteral("Что нового"));
    separator(info, "ElMenuItem13");
    item(info, "ElMenuItem14", m_aboutAction, 3);

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
    // The band container: the two tool bars side by side, each draggable within it.
    auto* controlBar = new QMainWindow(nullptr);
    controlBar->setObjectName(QStringLiteral("ControlBar1"));
    controlBar->setWindowFlags(Qt::Widget);
    controlBar->setContextMenuPolicy(Qt::PreventContextMenu);
    auto* bandFill = new QWidget(controlBar);
    bandFill->setFixedHeight(0);
    controlBar->setCentralWidget(bandFill);
    controlBar->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    auto toolBar = [controlBar](const char* name) {
        auto* bar = new QToolBar(controlBar);
        bar->setObjectName(QString::fromLatin1(name));
        bar->setAllowedAreas(Qt::TopToolBarArea);
        bar->setFloatable(false);
        bar->setMovable(true);
        bar->setIconSize(QSize(16, 16));
        bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        controlBar->addToolBar(Qt::TopToolBarArea, bar);
        return bar;
    };
    auto button = [](QToolBar* bar, const char* name, int icon, QAction* command) {
        auto* b = new QToolButton(bar);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoRaise(true);
        if (command) b->setDefaultAction(command);
        if (icon >= 0) b->setIcon(icons::ImageList1(icon));
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
    // Enter in the search box runs the search command. A key typed into the box reaches its line edit
    // through the box itself (not through event filters), and the line edit reports Return and keypad
    // Enter once as returnPressed.
    connect(m_searchBox->lineEdit(), &QLineEdit::returnPressed, m_findAction, &QAction::trigger);
    m_matchCaseButton = button(bar1, "ToolButton5", 15, nullptr);
    m_matchCaseButton->setCheckable(true);
    m_wholeWordsButton = button(bar1, "ToolButton3", 13, nullptr);
    m_wholeWordsButton->setCheckable(true);
    m_scopeBox = new QComboBox(bar1);
    m_scopeBox->setObjectName(QStringLiteral("FlatComboBox3"));
    m_scopeBox->addItems({QStringLiteral("В названиях"), QStringLiteral("В названиях & В тексе")});
    m_scopeBox->setMinimumWidth(145);
    m_scopeBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_scopeBox->setToolTip(QStringLiteral("Область поиска"));
    bar1->addWidget(m_scopeBox);
    button(bar1, "ToolButton11", 9, m_findAction);
    m_clearResultsButton = button(bar1, "ToolButton10", 11, nullptr);
    m_clearResultsButton->setEnabled(false);
    connect(m_clearResultsButton, &QToolButton::clicked, m_clearResultsAction, &QAction::trigger);

    QToolBar* bar2 = toolBar("ToolBar2");
    button(bar2, "ToolButton15", 0, m_firstRowAction);
    button(bar2, "ToolButton16", 1, m_lastRowAction);
    m_topicPanelButton = button(bar2, "ToolButton17", 5, nullptr);
    m_topicPanelButton->setCheckable(true);
    connect(m_topicPanelButton, &QToolButton::clicked, this, &MainWindow::toggleTopicPanel);
    separator(bar2, "ToolButton18", 9);
    button(bar2, "ToolButton19", 2, m_settingsAction);
    separator(bar2, "ToolButton20", 8);
    button(bar2, "ToolButton21", 8, m_helpAction);
    button(bar2, "ToolButton22", 3, m_aboutAction);

    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(controlBar);
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
    m_delegate->setFavouriteMark(icons::ImageList2());
    m_delegate->setFindColor(toQColor(m_findColor));
    m_delegate->setLinkFont(m_articleGrid->font(), toQColor(m_linkColor));
    m_articleGrid->setItemDelegate(m_delegate);
    m_gridArea->installEventFilter(this);

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
    m_topicPanelHandle->setPixmap(icons::ImageList1(5).pixmap(QSize(20, 20), devicePixelRatioF()));
    m_topicPanelHandle->setFixedSize(20, 20);
    m_topicPanelHandle->setCursor(Qt::PointingHandCursor);
    m_topicPanelHandle->installEventFilter(this);
    header->addWidget(m_topicPanelHandle);
    header->addStretch();
    m_topicFilterButton = new QToolButton(m_topicPanel);
    m_topicFilterButton->setObjectName(QStringLiteral("SpeedButton1"));
    m_topicFilterButton->setText(QStringLiteral("Filter On"));
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

    auto* pane = new QFrame(m_splitter);
    pane->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    pane->setAutoFillBackground(true);
    pane->setPalette(white);
    m_viewPane = pane;
    m_viewPane->setObjectName(QStringLiteral("Panel2"));
    m_viewPane->setMinimumHeight(kMinimumPaneHeight);
    m_viewPane->hide(); // the embedded browser's pane, shown only while that viewer is chosen
    m_viewPane->installEventFilter(this);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);

    // Handlers of the grids.
    CatalogueGrid* grid = m_articleGrid;
    connect(grid, &CatalogueGrid::MouseDown, this, &MainWindow::onArticleGridPressed);
    connect(grid, &CatalogueGrid::MouseUp, this, &MainWindow::onArticleGridReleased);
    connect(grid, &CatalogueGrid::KeyPress, this, &MainWindow::onArticleGridKey);
    connect(grid, &CatalogueGrid::OnMouseEnter, this, &MainWindow::onPointerEntersArticleGrid);
    connect(grid, &QAbstractItemView::clicked, this, &MainWindow::onArticleCellClicked);
    connect(grid, &QAbstractItemView::doubleClicked, this, &MainWindow::onArticleGridDoubleClicked);
    connect(grid->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        onArticleTitleClicked(column);
        sortByTitle(column);
    });
    connect(m_topicGrid, &CatalogueGrid::OnMouseEnter, this, &MainWindow::onPointerEntersTopicGrid);
    connect(m_topicGrid, &QAbstractItemView::doubleClicked, this, &MainWindow::toggleCurrentTopic);
    connect(m_topicGrid, &CatalogueGrid::KeyPress, this, &MainWindow::onTopicGridKey);
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

// --- Start-up and shutdown ----------------------------------------------------------------------------

void MainWindow::startUp() {
    m_session.startUp(*this);
    if (m_model) showCurrentRow(m_session.articles().position());
}

// The grids take the tables as soon as they are open, so that everything start-up does to the tables
// afterwards (order, filter, current row) shows at once.
void MainWindow::attachGrids() {
    m_model = new ArticleModel(m_session.articles(), this);
    m_model->setColumnTitles(m_columnTitles);
    m_model->setFavouritesTitleIcon(icons::ImageList1(14));
    m_model->setIndicator(m_articleGrid->verticalHeader()->isVisible());
    m_articleGrid->setModel(m_model);
    for (int c = 0; c < ArticleModel::ColumnCount; ++c) {
        m_articleGrid->setColumnMinimumWidth(c, kColumns[c].minimum);
        m_articleGrid->setColumnWidthHint(c, kColumns[c].width);
    }
    m_articleGrid->setFitColumns(true);
    connect(m_model, &ArticleModel::currentRowChanged, this, &MainWindow::showCurrentRow);
    connect(m_articleGrid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) m_selectedColumn = current.column();
            });
    connect(m_articleGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!current.isValid() || !m_model->isAttached() ||
                    current.row() == m_session.articles().position())
                    return;
                // Moving stores a pending edit; a refused store has shown its message already.
                try {
                    m_session.articles().moveTo(current.row());
                } catch (const StoreAborted&) {
                } catch (const std::exception& e) {
                    showError(MessageOf(e));
                }
            });

    m_topicModel = new TopicModel(m_session.topics(), this);
    m_topicGrid->setModel(m_topicModel);
    m_topicGrid->setColumnWidthHint(TopicModel::ColTem, 150);
    m_topicGrid->setColumnWidthHint(TopicModel::ColKey, 20);
    m_topicGrid->setFitColumns(true);
    connect(m_topicGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && m_topicModel->isAttached() &&
                    current.row() != m_session.topics().position())
                    m_session.topics().moveTo(current.row());
            });
    topicFilter();
}

catalogue::TopicFilter& MainWindow::topicFilter() {
    if (!m_filter) m_filter = catalogue::BindTopicFilter(m_session.articles(), m_session.topics());
    return *m_filter;
}

// --- State kept between runs --------------------------------------------------------------------------

void MainWindow::preparePane() {
    attachGrids();
    const auto file = SettingsFilePath(m_session.appDir());
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return;
    const IniFile ini(file);
    m_upperPanelHeight = settings::Read(ini, settings::keys::Internal_browser_height);
    // The pane gets the opposite of what reading the settings asks for, so that the switch then makes its
    // whole transition.
    m_viewPane->setVisible(settings::Read(ini, settings::keys::select_browser) != 1);
    if (!m_viewPane->isHidden()) layOutPane();
}

void MainWindow::restoreState() {
    const auto file = SettingsFilePath(m_session.appDir());
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return;
    const IniFile ini(file);
    namespace k = settings::keys;

    Font font;
    settings::Read(ini, k::font_table, font);
    const Color table = settings::Read(ini, k::color_table);
    const Color find = settings::Read(ini, k::color_find);
    const Color link = settings::Read(ini, k::color_link);
    applyGridLook(font, link, find, table);
    restoreColumns(ini);
    restoreWindow(ini);

    m_matchCaseButton->setChecked(settings::Read(ini, k::Button_caps));
    m_wholeWordsButton->setChecked(settings::Read(ini, k::Button_word));
    m_scopeBox->setCurrentIndex(settings::Read(ini, k::Button_find));
    m_session.ini.text_search = settings::Read(ini, k::text_search);

    std::string column = settings::Read(ini, k::state_index);
    if (column.size() > k::kStateIndexLength) column.resize(k::kStateIndexLength);
    RecordTable& articles = m_session.articles();
    if (!m_session.ini.state_save) column = catalogue::kSortStandard;
    if (m_session.ini.state_save && settings::Read(ini, k::state_filter)) {
        catalogue::SwitchFilter(articles, topicFilter(), true);
        m_topicFilterButton->setText(QStringLiteral("Filter Off"));
        setStatusText(2, messageText(language::kFilterRestoredText));
    }
    setSortColumn(QString::fromStdString(catalogue::RestoreSortColumn(articles, column)));
    showRowCount();
}

void MainWindow::restoreColumns(const IniFile& ini) {
    std::array<int, kGridColumns> positions{};
    for (std::size_t c = 0; c < kGridColumns; ++c) {
        const std::string_view field = settings::keys::kGridFields[c];
        positions[c] = settings::Read(ini, settings::keys::colIndex(field));
        // Widths act as proportions: the grid fits its columns to its width.
        m_articleGrid->setColumnWidthHint(int(c),
                                          std::max(0, settings::Read(ini, settings::keys::colWidth(field))));
    }
    QHeaderView* titles = m_articleGrid->horizontalHeader();
    if (titles->count() != int(kGridColumns)) return;
    const std::array<int, kGridColumns> order = ColumnOrderFromPositions(positions);
    for (int v = 0; v < int(kGridColumns); ++v)
        titles->moveSection(titles->visualIndex(order[std::size_t(v)]), v);
    m_articleGrid->setFitColumns(true);
}

void MainWindow::restoreWindow(const IniFile& ini) {
    namespace k = settings::keys;
    // Absent keys take the splash window's bounds while it is on the screen, else the window's own.
    const QRect splash = SplashScreen::currentBounds();
    const QRect bounds = splash.isEmpty() ? geometry() : splash;
    const int w = settings::Read(ini, k::WindowWidth, bounds.width());
    const int h = settings::Read(ini, k::WindowHeight, bounds.height());
    const int top = settings::Read(ini, k::WindowTop, bounds.y());
    const int left = settings::Read(ini, k::WindowLeft, bounds.x());
    // The normal bounds first: a maximised window keeps them as its restore size.
    resize(std::max(w, minimumWidth()), std::max(h, minimumHeight()));
    move(left, top);
    switch (settings::Read(ini, k::WindowState)) {
    case 1:
        setWindowState(Qt::WindowMinimized);
        break;
    case 2:
        setWindowState(Qt::WindowNoState);
        break;
    case 3:
        setWindowState(Qt::WindowMaximized);
        break;
    default: // anything else leaves the window as it is
        break;
    }
}

void MainWindow::saveState() {
    IniFile ini = OpenSettingsFile(m_session.appDir());
    namespace k = settings::keys;
    QHeaderView* titles = m_articleGrid->horizontalHeader();
    if (titles->count() == int(kGridColumns)) {
        for (std::size_t c = 0; c < kGridColumns; ++c) {
            const std::string_view field = k::kGridFields[c];
            settings::Write(ini, k::colIndex(field), titles->visualIndex(int(c)));
            settings::Write(ini, k::colWidth(field), titles->sectionSize(int(c)));
        }
    }
    settings::Write(ini, k::Button_caps, m_matchCaseButton->isChecked());
    settings::Write(ini, k::Button_word, m_wholeWordsButton->isChecked());
    if (m_scopeBox->currentIndex() < 0) m_scopeBox->setCurrentIndex(0);
    settings::Write(ini, k::Button_find, std::max(0, m_scopeBox->currentIndex()));
    if (isMinimized()) {
        settings::Write(ini, k::WindowState, 1);
    } else if (isMaximized() || isFullScreen()) {
        settings::Write(ini, k::WindowState, 3);
    } else {
        settings::Write(ini, k::WindowState, 2);
        settings::Write(ini, k::WindowWidth, width());
        settings::Write(ini, k::WindowHeight, height());
        settings::Write(ini, k::WindowTop, y());
        settings::Write(ini, k::WindowLeft, x());
    }
    // Only a pane on the screen has a grid area height worth keeping; before the window was ever shown its
    // panels have no real size.
    if (m_session.ini.select_browser == viewer::kViewerPane && m_shownOnce && !m_viewPane->isHidden())
        m_upperPanelHeight = m_gridArea->height();
    settings::Write(ini, k::Internal_browser_height, m_upperPanelHeight);
    settings::Write(ini, k::text_search, m_session.ini.text_search);
    if (m_session.ini.state_save) {
        settings::Write(ini, k::state_index, m_sortColumn.toStdString());
        settings::Write(ini, k::state_filter, m_filterOnAtClose);
    }
}

void MainWindow::showRowCount() {
    setStatusText(1, kRowCountText + QString::number(m_session.articles().rowCount()));
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        onFirstShown();
    }
}

void MainWindow::onFirstShown() {
    // After a failed start-up the window closes the moment it is shown, which ends the application.
    if (m_session.startupFailed()) QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_workerRunning) {
        // The tables belong to the worker until it reports completion: ask it to stop and close then.
        m_stop = true;
        m_closeAfterWorker = true;
        event->ignore();
        return;
    }
    // The table is closed before the window state is written; its filter is part of that state.
    m_filterOnAtClose = m_session.articles().isOpen() && m_session.articles().filtered();
    if (!m_session.shutDown(*this)) {
        event->ignore();
        return;
    }
    event->accept();
}

void MainWindow::waitForWorker() {
    if (!m_workerRunning) return;
    m_stop = true;
    // The worker's reports run on this thread: an event loop serves them until the last one has ended it.
    QEventLoop untilEnded;
    connect(this, &MainWindow::workerEnded, &untilEnded, &QEventLoop::quit);
    if (m_workerRunning) untilEnded.exec();
}

// --- Workers ------------------------------------------------------------------------------------------

bool MainWindow::beginWorker() {
    if (m_workerRunning) return false;
    m_workerRunning = true;
    RecordTable& articles = m_session.articles();
    if (articles.filtered()) {
        articles.setFiltered(false); // a run sees every row
        m_topicFilterButton->setText(QStringLiteral("Filter On"));
    }
    articles.disableControls();
    m_session.topics().disableControls();
    if (m_model) m_model->setAttached(false);
    if (m_topicModel) m_topicModel->setAttached(false);
    for (QAction* a : {m_findAction, m_clearResultsAction, m_settingsAction, m_topicFilterAction,
                       m_firstRowAction, m_lastRowAction})
        a->setEnabled(false);
    return true;
}

void MainWindow::reattachGrids() {
    RecordTable& articles = m_session.articles();
    if (articles.controlsDisabled()) articles.enableControls();
    if (m_session.topics().controlsDisabled()) m_session.topics().enableControls();
    if (m_model) m_model->setAttached(true);
    if (m_topicModel) m_topicModel->setAttached(true);
}

void MainWindow::endWorker() {
    reattachGrids();
    for (QAction* a : {m_findAction, m_clearResultsAction, m_settingsAction, m_topicFilterAction,
                       m_firstRowAction, m_lastRowAction})
        a->setEnabled(true);
    m_workerRunning = false;
    emit workerEnded();
    if (m_closeAfterWorker) {
        m_closeAfterWorker = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

// --- Commands -----------------------------------------------------------------------------------------

// The search commands detach only the article grid: the tables stay the main window's (the full-text
// dialog is modal), and the topic filter is switched off and back on by the search itself.
void MainWindow::detachArticleGrid(bool detach) {
    if (m_model) m_model->setAttached(!detach);
    if (!detach) m_articleGrid->setFocus();
}

void MainWindow::runSearch() {
    if (m_workerRunning) return; // the tables belong to the indexing worker until it reports completion
    search::FindRequest request;
    request.boxText = toCp1251(m_searchBox->currentText());
    request.scope = search::ScopeFromItem(m_scopeBox->currentIndex());
    request.options = {m_matchCaseButton->isChecked(), m_wholeWordsButton->isChecked()};
    request.archiveFolder = m_session.archiveFolder;
    request.prefixes = m_session.ini.name_kelvra;

    search::FindHooks hooks;
    hooks.setBoxText = [this](const std::string& text) { m_searchBox->setEditText(fromCp1251(text)); };
    hooks.detachGrid = [this](bool detach) { detachArticleGrid(detach); };
    hooks.runFullText = [this](const search::FullTextJob& job) {
        return RunFullTextWithProgress(this, m_session.articles(), job, m_stop, m_session.messages);
    };
    hooks.showResult = [this](int hits) {
        present(MessageKind::InformationYes, fromCp1251(search::FindResultMessage(
                                                 m_session.messages[language::kSearchFinishedText],
                                                 m_session.messages[language::kArticlesFoundText], hits)));
    };
    hooks.showUnreadable = [this](const Message& message) {
        present(MessageKind::Error, messageFor(message));
    };
    hooks.setClearEnabled = [this](bool enabled) { setSearchResultsEndEnabled(enabled); };

    std::vector<std::string> entries = history();
    try {
        search::RunSearch(m_session.articles(), entries, m_session.ini.text_search, request, hooks);
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) { // a failed full-text walk included: its message shows once
        showError(MessageOf(e));
    }
    // The history goes back into the box also after a failed walk, keeping the (compacted) text shown.
    const QString text = m_searchBox->currentText();
    setHistory(entries);
    m_searchBox->setEditText(text);
}

void MainWindow::clearSearchResults() {
    if (m_workerRunning) return;
    search::ClearHooks hooks;
    hooks.detachGrid = [this](bool detach) { detachArticleGrid(detach); };
    hooks.setClearEnabled = [this](bool enabled) { setSearchResultsEndEnabled(enabled); };
    try {
        search::ClearSearchMarks(m_session.articles(), m_session.ini.text_search, hooks);
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
}

void MainWindow::openIndexingDialog() {
    // A run whose dialog was closed is still going: show its dialog again instead of starting a second one.
    if (m_indexingDialog && m_indexingDialog->isRunning()) {
        m_indexingDialog->show();
        m_indexingDialog->raise();
        m_indexingDialog->activateWindow();
        return;
    }
    if (m_workerRunning) {
        showInformationMessage(messageText(msg::WaitForSearch));
        return;
    }
    auto* dialog = new IndexingDialog(*this);
    m_indexingDialog = dialog;
    dialog->setWindowModality(Qt::ApplicationModal);
    CentreOnScreen(*dialog);
    dialog->show();
    emit indexingDialogOpened(dialog);
}

void MainWindow::openSettingsDialog() {
    SettingsDialog::openModal(*this, this);
}

GridLook MainWindow::gridLook() {
    GridLook look;
    look.font = m_gridFont;
    look.linkColor = m_linkColor;
    look.findColor = m_findColor;
    look.tableColor = m_tableColor;
    look.cellLines = m_articleGrid->showGrid();
    look.indicator = m_articleGrid->verticalHeader()->isVisible();
    return look;
}

void MainWindow::applyMainWindowLanguage() {
    const int scope = m_scopeBox->currentIndex();
    ApplyLanguage(
        language::kTargetMainWindow, m_session.appDir(), m_session.ini.local,
        [this](const TextAssignment& a) { setText(a); }, m_session.messages);
    if (scope >= 0 && scope < m_scopeBox->count()) m_scopeBox->setCurrentIndex(scope);
}

void MainWindow::keepCurrentRow() {
    showCurrentRow(m_session.articles().position());
    m_articleGrid->viewport()->update();
}

void MainWindow::clearSearchHistory() {
    // Only the list goes; the text in the box stays for the next search.
    const QString text = m_searchBox->currentText();
    m_searchBox->clear();
    m_searchBox->setEditText(text);
}

void MainWindow::toggleTopicFilter() {
    try {
        RecordTable& articles = m_session.articles();
        catalogue::SwitchFilter(articles, topicFilter(), !articles.filtered());
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
    showFilterState();
}

void MainWindow::showFilterState() {
    showRowCount();
    const bool on = m_session.articles().filtered();
    m_topicFilterButton->setText(on ? QStringLiteral("Filter Off") : QStringLiteral("Filter On"));
    setStatusText(2, on ? QStringLiteral("Фильтр включён F") : QString());
}

void MainWindow::applyTopicFilter(bool force) {
    if (m_workerRunning) return;
    try {
        catalogue::FilterGo(m_session.articles(), topicFilter(), force);
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
    showFilterState();
}

void MainWindow::filterByTickedTopics() {
    applyTopicFilter(false);
}

void MainWindow::toggleCurrentTopic() {
    if (m_workerRunning) return;
    try {
        if (catalogue::ToggleTopic(m_session.topics(), m_session.articles(), topicFilter()))
            setStatusText(1, messageText(language::kArticleCountText) + QStringLiteral("  ") +
                                 QString::number(m_session.articles().rowCount()));
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
}

void MainWindow::onTopicGridKey(int key) {
    if (key == Qt::Key_Space) toggleCurrentTopic();
}

void MainWindow::collapseOrExpandTopicPanel() {
    const bool collapse = m_topicPanel->height() >= kTopicPanelCollapsedHeight + 1;
    m_topicGrid->setVisible(!collapse);
    m_topicPanel->findChild<QFrame*>(QStringLiteral("Bevel1"))->setVisible(!collapse);
    m_topicPanel->resize(m_topicPanel->width(), collapse ? kTopicPanelCollapsedHeight : kTopicPanelHeight);
    // Expanded where it was dragged while collapsed, the panel moves up as far as it needs to stay inside.
    m_topicPanel->move(
        m_topicPanel->x(),
        std::clamp(m_topicPanel->y(), 0, std::max(0, m_gridArea->height() - m_topicPanel->height())));
}

// Pressing on the topic panel's own surface drags it anywhere within the grid area.
bool MainWindow::dragTopicPanel(QEvent* event) {
    const QEvent::Type type = event->type();
    // Every event of the panel passes here; only mouse events may be read as one.
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    switch (type) {
    case QEvent::MouseButtonPress:
        if (mouse->button() != Qt::LeftButton) return false;
        m_topicPanelGrip = mouse->position().toPoint(); // the press grabs the mouse until its release
        return true;
    case QEvent::MouseMove: {
        if (m_topicPanelGrip.x() < 0) return false;
        QPoint to = m_topicPanel->mapToParent(mouse->position().toPoint()) - m_topicPanelGrip;
        to.setX(std::clamp(to.x(), 0, std::max(0, m_gridArea->width() - m_topicPanel->width())));
        to.setY(std::clamp(to.y(), 0, std::max(0, m_gridArea->height() - m_topicPanel->height())));
        m_topicPanel->move(to);
        m_topicPanelRightGap = m_gridArea->width() - m_topicPanel->geometry().right() - 1;
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (m_topicPanelGrip.x() < 0) return false;
        m_topicPanelGrip = QPoint(-1, -1);
        return true;
    default:
        return false;
    }
}

viewer::OpenSettings MainWindow::openSettings() const {
    viewer::OpenSettings s;
    s.appDir = m_session.appDir();
    s.archiveFolder = m_session.archiveFolder;
    s.editionPrefixes = m_session.ini.name_kelvra;
    s.frame = m_session.ini.frame;
    s.viewerChoice = m_session.ini.select_browser;
    s.msieProgram = m_session.ini.path_MSIE;
    s.operaProgram = m_session.ini.path_Opera;
    s.fileNotFoundText = m_session.messages[language::kFileNotFoundText];
    return s;
}

std::string MainWindow::selectedFieldName() const {
    // An empty view has no current cell, but the grid keeps its selected column.
    const QModelIndex current = m_articleGrid->currentIndex();
    const int column = current.isValid()       ? current.column()
                       : m_selectedColumn >= 0 ? m_selectedColumn
                                               : int(ArticleModel::ColStatia);
    return ArticleModel::fieldName(column).toStdString();
}

void MainWindow::runOpening(void (*open)(std::string_view, const viewer::ArticleRow&,
                                         const viewer::OpenSettings&, viewer::ViewerHooks&)) {
    try {
        open(selectedFieldName(), viewer::CurrentArticleRow(m_session.articles()), openSettings(),
             *m_viewerHooks);
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
}

void MainWindow::openHelp() {
    try {
        viewer::OpenHelp(openSettings(), *m_viewerHooks);
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
}

void MainWindow::openWhatsNew() {
    try {
        viewer::OpenWhatsNew(openSettings(), *m_viewerHooks);
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
}

void MainWindow::exitApplication() {
    close();
}

void MainWindow::showAboutDialog() {
    AboutDialog::showModal(this, m_session.appDir(), m_session.ini.local);
}

void MainWindow::goToFirstRow() {
    try {
        m_session.articles().first();
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
}

void MainWindow::goToLastRow() {
    try {
        m_session.articles().last();
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
}

void MainWindow::toggleTopicPanel() {
    m_topicPanel->setVisible(m_topicPanel->isHidden());
    m_topicPanelButton->setChecked(!m_topicPanel->isHidden());
    if (!m_topicPanel->isHidden()) placeTopicPanel();
}

void MainWindow::openCurrentRow() {
    runOpening(&viewer::OpenCurrentRow);
}
void MainWindow::openCurrentRowInMsie() {
    runOpening(&viewer::OpenCurrentRowInMsie);
}
void MainWindow::openCurrentRowInOpera() {
    runOpening(&viewer::OpenCurrentRowInOpera);
}
void MainWindow::openCurrentRowInDefaultBrowser() {
    runOpening(&viewer::OpenCurrentRowInDefaultBrowser);
}

// --- The article grid ---------------------------------------------------------------------------------

void MainWindow::onArticleGridPressed(Qt::MouseButton button) {
    if (!m_articleGrid->hasFocus()) {
        m_searchBox->setFocus();
        m_articleGrid->setFocus();
    }
    m_cellPress = button == Qt::LeftButton;
}

void MainWindow::onArticleCellClicked() {
    if (!m_session.ini.onclick || !m_cellPress) return;
    if (m_model && m_model->rowCount() > 0) {
        openCurrentRow();
        m_cellPress = false;
    }
}

void MainWindow::onArticleGridDoubleClicked() {
    if (m_session.ini.onclick || !m_cellPress) return;
    if (m_model && m_model->rowCount() > 0) openCurrentRow();
}

void MainWindow::onArticleTitleClicked(int /*column*/) {
    m_cellPress = false;
}

void MainWindow::sortByTitle(int column) {
    m_cellPress = false;
    // The header flips its marker on a click; the marker follows the sort column only.
    setSortColumn(m_sortColumn);
    if (m_workerRunning) return;
    try {
        const std::string sorted =
            catalogue::SortByTitle(m_session.articles(), ArticleModel::fieldName(column).toStdString());
        if (!sorted.empty()) {
            setSortColumn(QString::fromStdString(sorted));
            showCurrentRowInContext();
        }
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
}

void MainWindow::onArticleGridReleased(Qt::MouseButton button, const QPoint& globalPos) {
    m_searchBox->setFocus();
    m_articleGrid->setFocus();
    const int column = m_articleGrid->currentIndex().column();
    const bool opensSomething = column == ArticleModel::ColType || column == ArticleModel::ColNumber ||
                                column == ArticleModel::ColStatia;
    if (m_session.ini.select_browser == 1 && opensSomething && button == Qt::RightButton)
        m_rowMenu->popup(globalPos);
}

void MainWindow::onArticleGridKey(int /*key*/) {
    openCurrentRow();
}

void MainWindow::onPointerEntersArticleGrid() {
    if (QGuiApplication::applicationState() != Qt::ApplicationActive) return;
    m_searchBox->setFocus();
    m_articleGrid->setFocus();
}

void MainWindow::onPointerEntersTopicGrid() {
    if (QGuiApplication::applicationState() != Qt::ApplicationActive) return;
    m_searchBox->setFocus();
    m_topicGrid->setFocus();
}

void MainWindow::showCurrentRow(int row) {
    if (!m_model || row < 0 || row >= m_model->rowCount()) return;
    const QModelIndex current = m_articleGrid->currentIndex();
    const QModelIndex index =
        m_model->index(row, current.isValid() ? current.column() : ArticleModel::ColStatia);
    if (current.row() != row) m_articleGrid->setCurrentIndex(index);
    m_articleGrid->scrollTo(index);
}

// After a new order the rows that now stand above the current one matter (the favourites, the hits):
// the grid shows as many of them as it can, from the first row when the current one is on the first page.
void MainWindow::showCurrentRowInContext() {
    const QModelIndex current = m_articleGrid->currentIndex();
    if (!current.isValid()) return;
    const int rowHeight = std::max(1, m_articleGrid->verticalHeader()->defaultSectionSize());
    const int visibleRows = m_articleGrid->viewport()->height() / rowHeight;
    if (current.row() < visibleRows)
        m_articleGrid->scrollToTop();
    else
        m_articleGrid->scrollTo(current, QAbstractItemView::PositionAtCenter);
}

// --- Look ---------------------------------------------------------------------------------------------

void MainWindow::setSortColumn(const QString& field) {
    m_sortColumn = field;
    const int column = ArticleModel::columnOf(field);
    // Qt draws the upward triangle for the descending indicator.
    m_articleGrid->horizontalHeader()->setSortIndicator(column, Qt::DescendingOrder);
}

void MainWindow::applyGridLook(const Font& font, Color linkColor, Color findColor, Color tableColor) {
    m_gridFont = font;
    m_linkColor = linkColor;
    m_findColor = findColor;
    m_tableColor = tableColor;
    m_delegate->setFindColor(toQColor(findColor));
    // The application's style sheet decides the colours of every widget it polishes, so the grid's own
    // colours go into a style sheet of its own: a palette alone would be ignored.
    m_articleGrid->setStyleSheet(
        QStringLiteral("QTableView { background-color: %1; }").arg(toQColor(tableColor).name()));
    m_delegate->setTextColor(toQColor(font.color));
    QFont f = m_articleGrid->font();
    f.setFamily(fromCp1251(font.name));
    if (font.size() > 0) f.setPointSize(font.size());
    f.setBold(font.style & fontstyle::bold);
    f.setItalic(font.style & fontstyle::italic);
    f.setUnderline(font.style & fontstyle::underline);
    f.setStrikeOut(font.style & fontstyle::strikeout);
    f.setFixedPitch(font.pitch == 2);
    m_articleGrid->setFont(f);
    m_articleGrid->verticalHeader()->setDefaultSectionSize(QFontMetrics(f).height() + 4);
    m_delegate->setLinkFont(f, toQColor(linkColor));
    m_articleGrid->viewport()->update();
}

void MainWindow::switchViewPane(bool on) {
    if (!on) {
        delete m_browser;
        m_browser = nullptr;
        if (m_viewPane->isHidden()) return;
        // The grid area's height is kept for the pane's return; a window never laid out has none yet.
        if (m_shownOnce) m_upperPanelHeight = m_gridArea->height();
        m_viewPane->hide(); // the grid area fills the client area
        if (m_splitter->count() > 1) m_splitter->handle(1)->setEnabled(false);
        return;
    }
    if (!m_viewPane->isHidden()) return; // also without a view: only a switch off and on tries again
    m_viewPane->show();
    if (m_upperPanelHeight < 10) m_upperPanelHeight = 55;
    layOutPane();
    if (m_splitter->count() > 1) m_splitter->handle(1)->setEnabled(true);
    if (m_browser) return;
    try {
        m_browser = new ArchiveView(m_viewPane);
        m_browser->setObjectName(QStringLiteral("webBrowser"));
        m_browser->setFocusPolicy(Qt::StrongFocus);
        QWidget::setTabOrder(m_searchBox, m_browser);
        connect(m_browser, &ArchiveView::OnMouseEnter, this, &MainWindow::onPointerEntersView);
        connect(m_browser, &ArchiveView::OnMouseLeave, this, &MainWindow::onPointerLeavesView);
        connect(m_browser, &ArchiveView::StatusTextChange, this, &MainWindow::showViewStatusText);
        connect(m_browser, &ArchiveView::DocumentComplete, this, &MainWindow::onDocumentComplete);
        m_browser->setHighlightSource([this] {
            return HighlightRequest{m_session.ini.text_search, m_wholeWordsButton->isChecked(),
                                    m_matchCaseButton->isChecked(), ColorToHex(m_session.ini.color_htm_fon)};
        });
        fitViewToPane();
        m_browser->show();
    } catch (const std::exception&) {
        delete m_browser;
        m_browser = nullptr;
        present(
            MessageKind::Plain,
            QStringLiteral("Ошибка создания окна Web Browser-а\rДолжен быть установлен MSIE 5.0 или выше"));
    }
}

// The grid area takes the upper panel height and the pane the rest; when that leaves the pane almost
// nothing, the grid area gives up the pane's minimum and a further 125 pixels.
void MainWindow::layOutPane() {
    if (!isVisible()) {
        layout()->activate(); // the client area's size before the window is first shown
        centralWidget()->layout()->activate();
    }
    const int total = m_splitter->height() - m_splitter->handleWidth();
    int upper = m_upperPanelHeight;
    if (total - upper < 2) upper -= kMinimumPaneHeight + 125;
    upper = std::max(upper, kMinimumPaneHeight);
    m_splitter->setSizes({upper, std::max(total - upper, kMinimumPaneHeight)});
}

void MainWindow::fitViewToPane() {
    if (m_browser) m_browser->setGeometry(m_viewPane->contentsRect());
}

void MainWindow::onPointerEntersView() {
    if (QGuiApplication::applicationState() != Qt::ApplicationActive || !m_browser) return;
    m_searchBox->setFocus();
    m_browser->setFocus(); // into the page's own window
}

void MainWindow::onPointerLeavesView() {}

void MainWindow::showViewStatusText(const QString& text) {
    setStatusText(3, text);
}

void MainWindow::onDocumentComplete() {
    // The view itself takes the border off and highlights the search text in every document as it
    // completes, with the request its highlight source gives at the navigation.
}

void MainWindow::placeTopicPanel() {
    // Anchored to the grid area's top and right edges.
    const int x = std::max(0, m_gridArea->width() - m_topicPanelRightGap - m_topicPanel->width());
    const int y =
        std::clamp(m_topicPanel->y(), 0, std::max(0, m_gridArea->height() - m_topicPanel->height()));
    m_topicPanel->move(x, y);
    m_topicPanel->raise();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_gridArea && event->type() == QEvent::Resize && m_topicPanel->isVisible())
        placeTopicPanel();
    if (watched == m_viewPane && event->type() == QEvent::Resize) fitViewToPane();
    if (watched == m_topicPanelHandle && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        collapseOrExpandTopicPanel();
        return true;
    }
    if (watched == m_topicPanel && dragTopicPanel(event)) return true;
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::setSearchResultsEndEnabled(bool enabled) {
    m_clearResultsButton->setEnabled(enabled);
}

// --- Status bar and messages --------------------------------------------------------------------------

void MainWindow::setStatusText(int panel, const QString& text) {
    if (panel < 1 || panel > 3) return;
    QLabel* label = m_panels[panel - 1];
    label->setText(text);
    // The first two panels keep their widths, but grow for a text that needs more (a long count, a
    // language with longer words); they never shrink below them.
    if (panel < 3) {
        const int needed = label->fontMetrics().horizontalAdvance(text) + label->contentsMargins().left() +
                           label->contentsMargins().right() + 2 * label->frameWidth() + 4;
        label->setFixedWidth(std::max(kStatusPanelWidths[panel - 1], needed));
    }
}

QString MainWindow::statusText(int panel) const {
    return panel >= 1 && panel <= 3 ? m_panels[panel - 1]->text() : QString();
}

QString MainWindow::messageText(int key) const {
    return fromCp1251(m_session.messages[key]);
}

void MainWindow::present(MessageKind kind, const QString& text) {
    // The messages separate their lines with a carriage return.
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_presenter(this, kind, shown);
}

void MainWindow::showErrorMessage(const QString& text) {
    present(MessageKind::Error, text);
}
void MainWindow::showInformationMessage(const QString& text) {
    present(MessageKind::Information, text);
}
void MainWindow::showInformation(const Message& message) {
    present(MessageKind::Information, messageFor(message));
}
void MainWindow::showError(const Message& message) {
    present(MessageKind::Error, messageFor(message));
}
QString MainWindow::messageFor(const Message& message) const {
    return QString::fromStdString(m_session.messages.render(message));
}

// --- Settings and language ----------------------------------------------------------------------------

SettingsHooks MainWindow::settingsHooks() {
    SettingsHooks hooks;
    hooks.switchViewPane = [this](bool on) { switchViewPane(on); };
    hooks.SetGridLines = [this](bool lines) { m_articleGrid->setShowGrid(lines); };
    hooks.SetGridIndicator = [this](bool shown) {
        m_articleGrid->verticalHeader()->setVisible(shown);
        if (m_model) m_model->setIndicator(shown);
    };
    hooks.ReapplyTopicFilter = [this] {
        if (m_session.articles().filtered()) applyTopicFilter(true);
    };
    return hooks;
}

void MainWindow::setText(const TextAssignment& a) {
    const QString text = fromCp1251(a.text);
    const QString name = QString::fromLatin1(a.component.data(), qsizetype(a.component.size()));
    if (a.property == TextProperty::ColumnTitle) {
        m_columnTitles[QString::fromLatin1(a.field.data(), qsizetype(a.field.size()))] = text;
        if (m_model) m_model->setColumnTitles(m_columnTitles);
        return;
    }
    QObject* target = name == objectName() ? static_cast<QObject*>(this) : findChild<QObject*>(name);
    if (!target) return; // a component this window does not have
    switch (a.property) {
    case TextProperty::Caption:
        if (auto* action = qobject_cast<QAction*>(target))
            action->setText(text);
        else if (auto* window = qobject_cast<QMainWindow*>(target))
            window->setWindowTitle(text);
        else if (auto* button = qobject_cast<QAbstractButton*>(target))
            button->setText(text);
        else if (auto* label = qobject_cast<QLabel*>(target))
            label->setText(text);
        break;
    case TextProperty::Hint:
        if (auto* action = qobject_cast<QAction*>(target)) {
            action->setToolTip(text);
        } else if (auto* widget = qobject_cast<QWidget*>(target)) {
            // A button showing a command takes the command's hint whenever the command changes.
            if (auto* button = qobject_cast<QToolButton*>(widget); button && button->defaultAction())
                button->defaultAction()->setToolTip(text);
            widget->setToolTip(text);
        }
        break;
    case TextProperty::ClearItems:
        if (auto* box = qobject_cast<QComboBox*>(target)) box->clear();
        break;
    case TextProperty::AddItem:
        if (auto* box = qobject_cast<QComboBox*>(target)) box->addItem(text);
        break;
    case TextProperty::FontCharset:
        // Texts are Unicode here, so the font needs no character set; the set tells the language of Qt's
        // own texts.
        if (target == this) UseQtTranslations(a.index == language::kCyrillicCharset);
        break;
    case TextProperty::TreeNode:
    case TextProperty::ColumnTitle:
        break;
    }
}

void MainWindow::setHistory(const std::vector<std::string>& entries) {
    m_searchBox->clear();
    for (const std::string& e : entries)
        m_searchBox->addItem(fromCp1251(e));
}

std::vector<std::string> MainWindow::history() const {
    std::vector<std::string> out;
    for (int i = 0; i < m_searchBox->count(); ++i)
        out.push_back(toCp1251(m_searchBox->itemText(i)));
    return out;
}

void MainWindow::selectHistoryEntry(int index) {
    if (index >= 0 && index < m_searchBox->count()) m_searchBox->setCurrentIndex(index);
}

} // namespace marovex
