#include "ui/form1.h"

#include "app/gridstate.h"
#include "base/cp1251.h"
#include "catalogue/articleview.h"
#include "catalogue/catalogue.h"
#include "indexer/archive.h"
#include "search/findcommand.h"
#include "ui/abut.h"
#include "ui/articlegriddelegate.h"
#include "ui/articlemodel.h"
#include "ui/customizedwebbrowser.h"
#include "ui/dbgrideh_mvx.h"
#include "ui/formfind.h"
#include "ui/formproperties.h"
#include "ui/icons.h"
#include "ui/indexingdialog.h"
#include "ui/placement.h"
#include "ui/qtconvert.h"
#include "ui/qttranslations.h"
#include "ui/screen.h"
#include "ui/topicmodel.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
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

void defaultPresenter(QWidget* parent, TForm1::MessageKind kind, const QString& text) {
    ShowMessageBox(parent, kind, text);
}

// What an opening asks of the window, answered by the window's own functions.
class FormViewerHooks final : public viewer::ViewerHooks {
public:
    std::function<TCustomizedWebBrowser*()> browser;
    std::function<std::filesystem::path()> archiveRoot;
    std::function<void(const QString&)> shellOpener;
    std::function<void(viewer::MessageIcon, const QString&)> message;
    std::function<void(const QString&)> caption;
    std::function<void()> toggle;

    bool embeddedBrowserPresent() override { return browser() != nullptr; }
    void navigate(const std::filesystem::path& file) override {
        if (TCustomizedWebBrowser* view = browser()) {
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
constexpr int kPanel3Width = 229;
constexpr int kPanel3Height = 157;
constexpr int kPanel3Collapsed = 25;
constexpr int kMinimumPaneHeight = 25;

const QString kRowCountText = QStringLiteral("Всего статей : ");

} // namespace

TForm1::TForm1(std::filesystem::path appDir, MessagePresenter presenter, QWidget* parent)
    : QMainWindow(parent), m_session(std::move(appDir)),
      m_presenter(presenter ? std::move(presenter) : MessagePresenter(defaultPresenter)),
      m_shellOpener(defaultShellOpener) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kApplicationTitle);
    UseQtTranslations(true); // as the built-in texts, until a language file says otherwise
    setWindowIcon(icons::ImageList1(9));
    auto hooks = std::make_unique<FormViewerHooks>();
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
    FormCreate();
}

TForm1::~TForm1() {
    waitForWorker();
    delete m_browser; // its page goes before the window's other children
    m_browser = nullptr;
    if (m_model) {
        DBGridEh_MVX2->setModel(nullptr);
        delete m_model;
        m_model = nullptr;
    }
    if (m_topicModel) {
        DBGridEh_MVX1->setModel(nullptr);
        delete m_topicModel;
        m_topicModel = nullptr;
    }
    // The topic table goes with the main window; it is written back here when it changed.
    const Message error = m_session.closeTopicTable();
    if (!error.empty()) present(MessageKind::Error, messageFor(error));
}

// --- Building the window ------------------------------------------------------------------------------

void TForm1::buildActions() {
    auto command = [this](QAction*& slot, const char* name, const QString& text, int icon,
                          void (TForm1::*run)()) {
        slot = new QAction(text, this);
        slot->setObjectName(QString::fromLatin1(name));
        if (icon >= 0) slot->setIcon(icons::ImageList1(icon));
        connect(slot, &QAction::triggered, this, run);
        addAction(slot); // shortcuts serve the whole window
    };
    command(Action_Find, "Action_Find", tr("Search"), 9, &TForm1::Action_FindExecute);
    command(Find_End, "Find_End", tr("Clear search results"), 11, &TForm1::Find_EndExecute);
    command(GoIndex, "GoIndex", tr("Index archive..."), 7, &TForm1::GoIndexExecute);
    command(SetProperties, "SetProperties", tr("Settings..."), 2, &TForm1::SetPropertiesExecute);
    command(Clear_History, "Clear_History", tr("Clear search history"), -1, &TForm1::Clear_HistoryExecute);
    command(view_filter_on_off, "view_filter_on_off", tr("Topic filter"), 5,
            &TForm1::view_filter_on_offExecute);
    command(help, "help", tr("Help"), 8, &TForm1::helpExecute);
    command(Exit, "Exit", tr("Exit"), 4, &TForm1::ExitExecute);
    command(Action1, "Action1", tr("What's new"), -1, &TForm1::Action1Execute);
    command(ReadAbut, "ReadAbut", tr("About"), 3, &TForm1::ReadAbutExecute);
    command(Go_First, "Go_First", tr("First row"), 0, &TForm1::Go_FirstExecute);
    command(Go_Last, "Go_Last", tr("Last row"), 1, &TForm1::Go_LastExecute);
    help->setShortcut(QKeySequence(Qt::Key_F1));
    Exit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_X));
}

void TForm1::buildMenus() {
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
    item(file, "ElMenuItem7", GoIndex, 7);
    separator(file, "ElMenuItem8");
    item(file, "ElMenuItem9", Exit, 4);

    QMenu* setup = menuBar()->addMenu(QStringLiteral("Настройка"));
    setup->menuAction()->setObjectName(QStringLiteral("ElMenuItem5"));
    item(setup, "ElMenuItem10", SetProperties, 2);

    QMenu* info = menuBar()->addMenu(QStringLiteral("Инфо"));
    info->menuAction()->setObjectName(QStringLiteral("ElMenuItem6"));
    item(info, "ElMenuItem11", help, 8);
    item(info, "ElMenuItem12", Action1, -1)->setText(QStringLiteral("Что нового"));
    separator(info, "ElMenuItem13");
    item(info, "ElMenuItem14", ReadAbut, 3);

    // The row menu of the article grid: the current row in another viewer, the setting left as it is.
    ElPopupMenu1 = new QMenu(this);
    ElPopupMenu1->setObjectName(QStringLiteral("ElPopupMenu1"));
    auto popupItem = [this](const char* name, const QString& text, void (TForm1::*run)()) {
        auto* a = ElPopupMenu1->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, run);
    };
    popupItem("ElMenuItem1", QStringLiteral("Открыть в MSIE"), &TForm1::MSIE1Click);
    popupItem("ElMenuItem2", QStringLiteral("Открыть в Opera"), &TForm1::Opera1Click);
    popupItem("ElMenuItem3", QStringLiteral("Открыть в Default"), &TForm1::N10Click);
}

void TForm1::buildCommandBar() {
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
    FlatComboBox1 = new QComboBox(bar1);
    FlatComboBox1->setObjectName(QStringLiteral("FlatComboBox1"));
    FlatComboBox1->setEditable(true);
    FlatComboBox1->setInsertPolicy(QComboBox::NoInsert);
    FlatComboBox1->setFixedWidth(238);
    FlatComboBox1->setToolTip(QStringLiteral("Строка поиска"));
    label->setBuddy(FlatComboBox1);
    bar1->addWidget(FlatComboBox1);
    // Enter in the search box runs the search command. A key typed into the box reaches its line edit
    // through the box itself (not through event filters), and the line edit reports Return and keypad
    // Enter once as returnPressed.
    connect(FlatComboBox1->lineEdit(), &QLineEdit::returnPressed, Action_Find, &QAction::trigger);
    ToolButton5 = button(bar1, "ToolButton5", 15, nullptr);
    ToolButton5->setCheckable(true);
    ToolButton3 = button(bar1, "ToolButton3", 13, nullptr);
    ToolButton3->setCheckable(true);
    FlatComboBox3 = new QComboBox(bar1);
    FlatComboBox3->setObjectName(QStringLiteral("FlatComboBox3"));
    FlatComboBox3->addItems({QStringLiteral("В названиях"), QStringLiteral("В названиях & В тексе")});
    FlatComboBox3->setMinimumWidth(145);
    FlatComboBox3->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    FlatComboBox3->setToolTip(QStringLiteral("Область поиска"));
    bar1->addWidget(FlatComboBox3);
    button(bar1, "ToolButton11", 9, Action_Find);
    ToolButton10 = button(bar1, "ToolButton10", 11, nullptr);
    ToolButton10->setEnabled(false);
    connect(ToolButton10, &QToolButton::clicked, Find_End, &QAction::trigger);

    QToolBar* bar2 = toolBar("ToolBar2");
    button(bar2, "ToolButton15", 0, Go_First);
    button(bar2, "ToolButton16", 1, Go_Last);
    ToolButton17 = button(bar2, "ToolButton17", 5, nullptr);
    ToolButton17->setCheckable(true);
    connect(ToolButton17, &QToolButton::clicked, this, &TForm1::ToolButton17Click);
    separator(bar2, "ToolButton18", 9);
    button(bar2, "ToolButton19", 2, SetProperties);
    separator(bar2, "ToolButton20", 8);
    button(bar2, "ToolButton21", 8, help);
    button(bar2, "ToolButton22", 3, ReadAbut);

    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(controlBar);
    setCentralWidget(client);
}

void TForm1::buildClientArea() {
    Splitter1 = new QSplitter(Qt::Vertical, centralWidget());
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    centralWidget()->layout()->addWidget(Splitter1);

    Panel1 = new QWidget(Splitter1);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setMinimumHeight(kMinimumPaneHeight);
    auto* gridLayout = new QVBoxLayout(Panel1);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    DBGridEh_MVX2 = new TDBGridEh_MVX(Panel1);
    DBGridEh_MVX2->setObjectName(QStringLiteral("DBGridEh_MVX2"));
    gridLayout->addWidget(DBGridEh_MVX2);
    DBGridEh_MVX2->verticalHeader()->setDefaultSectionSize(DBGridEh_MVX2->fontMetrics().height() + 4);
    DBGridEh_MVX2->verticalHeader()->setMinimumWidth(12);
    DBGridEh_MVX2->horizontalHeader()->setSortIndicatorShown(true);
    DBGridEh_MVX2->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_delegate = new ArticleGridDelegate(DBGridEh_MVX2);
    m_delegate->setFavouriteMark(icons::ImageList2());
    m_delegate->setFindColor(toQColor(m_findColor));
    m_delegate->setLinkFont(DBGridEh_MVX2->font(), toQColor(m_linkColor));
    DBGridEh_MVX2->setItemDelegate(m_delegate);
    Panel1->installEventFilter(this);

    // The topic panel floats over the grid's top right corner.
    Panel3 = new QFrame(Panel1);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFrameShape(QFrame::Panel);
    Panel3->setFrameShadow(QFrame::Sunken);
    Panel3->setAutoFillBackground(true);
    QPalette white = Panel3->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel3->setPalette(white);
    Panel3->resize(kPanel3Width, kPanel3Height);
    auto* panelLayout = new QVBoxLayout(Panel3);
    panelLayout->setContentsMargins(2, 2, 2, 2);
    panelLayout->setSpacing(1);
    auto* header = new QHBoxLayout;
    Image1 = new QLabel(Panel3);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(icons::ImageList1(5).pixmap(QSize(20, 20), devicePixelRatioF()));
    Image1->setFixedSize(20, 20);
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->installEventFilter(this);
    header->addWidget(Image1);
    header->addStretch();
    SpeedButton1 = new QToolButton(Panel3);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("Filter On"));
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setMinimumSize(47, 16);
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm1::SpeedButton1Click);
    header->addWidget(SpeedButton1);
    panelLayout->addLayout(header);
    auto* bevel1 = new QFrame(Panel3);
    bevel1->setObjectName(QStringLiteral("Bevel1"));
    bevel1->setFrameShape(QFrame::HLine);
    bevel1->setFrameShadow(QFrame::Sunken);
    panelLayout->addWidget(bevel1);
    DBGridEh_MVX1 = new TDBGridEh_MVX(Panel3);
    DBGridEh_MVX1->setObjectName(QStringLiteral("DBGridEh_MVX1"));
    DBGridEh_MVX1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGridEh_MVX1->horizontalHeader()->hide();
    DBGridEh_MVX1->verticalHeader()->hide();
    DBGridEh_MVX1->setShowGrid(false);
    DBGridEh_MVX1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    DBGridEh_MVX1->verticalHeader()->setDefaultSectionSize(DBGridEh_MVX1->fontMetrics().height() + 2);
    panelLayout->addWidget(DBGridEh_MVX1, 1);
    Panel3->installEventFilter(this);
    Panel3->hide();

    auto* pane = new QFrame(Splitter1);
    pane->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    pane->setAutoFillBackground(true);
    pane->setPalette(white);
    Panel2 = pane;
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setMinimumHeight(kMinimumPaneHeight);
    Panel2->hide(); // the embedded browser's pane, shown only while that viewer is chosen
    Panel2->installEventFilter(this);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);

    // Handlers of the grids.
    TDBGridEh_MVX* grid = DBGridEh_MVX2;
    connect(grid, &TDBGridEh_MVX::MouseDown, this, &TForm1::DBGridEh_MVX2MouseDown);
    connect(grid, &TDBGridEh_MVX::MouseUp, this, &TForm1::DBGridEh_MVX2MouseUp);
    connect(grid, &TDBGridEh_MVX::KeyPress, this, &TForm1::DBGridEh_MVX2KeyPress);
    connect(grid, &TDBGridEh_MVX::OnMouseEnter, this, &TForm1::DBGridEh_MVX2MouseEnter);
    connect(grid, &QAbstractItemView::clicked, this, &TForm1::DBGridEh_MVX2CellClick);
    connect(grid, &QAbstractItemView::doubleClicked, this, &TForm1::DBGridEh_MVX2DblClick);
    connect(grid->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        DBGridEh_MVX2TitleClick(column);
        DBGridEh_MVX2TitleBtnClick(column);
    });
    connect(DBGridEh_MVX1, &TDBGridEh_MVX::OnMouseEnter, this, &TForm1::DBGridEh_MVX1MouseEnter);
    connect(DBGridEh_MVX1, &QAbstractItemView::doubleClicked, this, &TForm1::DBGridEh_MVX1DblClick);
    connect(DBGridEh_MVX1, &TDBGridEh_MVX::KeyPress, this, &TForm1::DBGridEh_MVX1KeyPress);
}

void TForm1::buildStatusBar() {
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

void TForm1::FormCreate() {
    m_session.FormCreate(*this);
    if (m_model) showCurrentRow(m_session.articles().position());
}

// The grids take the tables as soon as they are open, so that everything start-up does to the tables
// afterwards (order, filter, current row) shows at once.
void TForm1::attachGrids() {
    m_model = new ArticleModel(m_session.articles(), this);
    m_model->setColumnTitles(m_columnTitles);
    m_model->setFavouritesTitleIcon(icons::ImageList1(14));
    m_model->setIndicator(DBGridEh_MVX2->verticalHeader()->isVisible());
    DBGridEh_MVX2->setModel(m_model);
    for (int c = 0; c < ArticleModel::ColumnCount; ++c) {
        DBGridEh_MVX2->setColumnMinimumWidth(c, kColumns[c].minimum);
        DBGridEh_MVX2->setColumnWidthHint(c, kColumns[c].width);
    }
    DBGridEh_MVX2->setFitColumns(true);
    connect(m_model, &ArticleModel::currentRowChanged, this, &TForm1::showCurrentRow);
    connect(DBGridEh_MVX2->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) m_selectedColumn = current.column();
            });
    connect(DBGridEh_MVX2->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
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
    DBGridEh_MVX1->setModel(m_topicModel);
    DBGridEh_MVX1->setColumnWidthHint(TopicModel::ColTem, 150);
    DBGridEh_MVX1->setColumnWidthHint(TopicModel::ColKey, 20);
    DBGridEh_MVX1->setFitColumns(true);
    connect(DBGridEh_MVX1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && m_topicModel->isAttached() &&
                    current.row() != m_session.topics().position())
                    m_session.topics().moveTo(current.row());
            });
    topicFilter();
}

catalogue::TopicFilter& TForm1::topicFilter() {
    if (!m_filter) m_filter = catalogue::BindTopicFilter(m_session.articles(), m_session.topics());
    return *m_filter;
}

// --- State kept between runs --------------------------------------------------------------------------

void TForm1::preparePane() {
    attachGrids();
    const auto file = SettingsFilePath(m_session.appDir());
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return;
    const IniFile ini(file);
    m_upperPanelHeight = settings::Read(ini, settings::keys::Internal_browser_height);
    // The pane gets the opposite of what reading the settings asks for, so that the switch then makes its
    // whole transition.
    Panel2->setVisible(settings::Read(ini, settings::keys::select_browser) != 1);
    if (!Panel2->isHidden()) layOutPane();
}

void TForm1::restoreState() {
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
    ApplyGridLook(font, link, find, table);
    restoreColumns(ini);
    restoreWindow(ini);

    ToolButton5->setChecked(settings::Read(ini, k::Button_caps));
    ToolButton3->setChecked(settings::Read(ini, k::Button_word));
    FlatComboBox3->setCurrentIndex(settings::Read(ini, k::Button_find));
    m_session.ini.text_search = settings::Read(ini, k::text_search);

    std::string column = settings::Read(ini, k::state_index);
    if (column.size() > k::kStateIndexLength) column.resize(k::kStateIndexLength);
    RecordTable& articles = m_session.articles();
    if (!m_session.ini.state_save) column = catalogue::kSortStandard;
    if (m_session.ini.state_save && settings::Read(ini, k::state_filter)) {
        catalogue::SwitchFilter(articles, topicFilter(), true);
        SpeedButton1->setText(QStringLiteral("Filter Off"));
        setStatusText(2, messageText(73));
    }
    setSortColumn(QString::fromStdString(catalogue::RestoreSortColumn(articles, column)));
    showRowCount();
}

void TForm1::restoreColumns(const IniFile& ini) {
    std::array<int, kGridColumns> positions{};
    for (std::size_t c = 0; c < kGridColumns; ++c) {
        const std::string_view field = settings::keys::kGridFields[c];
        positions[c] = settings::Read(ini, settings::keys::colIndex(field));
        // Widths act as proportions: the grid fits its columns to its width.
        DBGridEh_MVX2->setColumnWidthHint(int(c),
                                          std::max(0, settings::Read(ini, settings::keys::colWidth(field))));
    }
    QHeaderView* titles = DBGridEh_MVX2->horizontalHeader();
    if (titles->count() != int(kGridColumns)) return;
    const std::array<int, kGridColumns> order = ColumnOrderFromPositions(positions);
    for (int v = 0; v < int(kGridColumns); ++v)
        titles->moveSection(titles->visualIndex(order[std::size_t(v)]), v);
    DBGridEh_MVX2->setFitColumns(true);
}

void TForm1::restoreWindow(const IniFile& ini) {
    namespace k = settings::keys;
    // Absent keys take the splash window's bounds while it is on the screen, else the window's own.
    const QRect splash = TScreen::currentBounds();
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

void TForm1::saveState() {
    IniFile ini = OpenSettingsFile(m_session.appDir());
    namespace k = settings::keys;
    QHeaderView* titles = DBGridEh_MVX2->horizontalHeader();
    if (titles->count() == int(kGridColumns)) {
        for (std::size_t c = 0; c < kGridColumns; ++c) {
            const std::string_view field = k::kGridFields[c];
            settings::Write(ini, k::colIndex(field), titles->visualIndex(int(c)));
            settings::Write(ini, k::colWidth(field), titles->sectionSize(int(c)));
        }
    }
    settings::Write(ini, k::Button_caps, ToolButton5->isChecked());
    settings::Write(ini, k::Button_word, ToolButton3->isChecked());
    if (FlatComboBox3->currentIndex() < 0) FlatComboBox3->setCurrentIndex(0);
    settings::Write(ini, k::Button_find, std::max(0, FlatComboBox3->currentIndex()));
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
    if (m_session.ini.select_browser == viewer::kViewerPane && m_shownOnce && !Panel2->isHidden())
        m_upperPanelHeight = Panel1->height();
    settings::Write(ini, k::Internal_browser_height, m_upperPanelHeight);
    settings::Write(ini, k::text_search, m_session.ini.text_search);
    if (m_session.ini.state_save) {
        settings::Write(ini, k::state_index, m_sortColumn.toStdString());
        settings::Write(ini, k::state_filter, m_filterOnAtClose);
    }
}

void TForm1::showRowCount() {
    setStatusText(1, kRowCountText + QString::number(m_session.articles().rowCount()));
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        FormShow();
    }
}

void TForm1::FormShow() {
    // After a failed start-up the window closes the moment it is shown, which ends the application.
    if (m_session.startupFailed()) QTimer::singleShot(0, this, &QWidget::close);
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (m_workerRunning) {
        // The tables belong to the worker until it reports completion: ask it to stop and close then.
        m_stop = true;
        m_closeAfterWorker = true;
        event->ignore();
        return;
    }
    // The table is closed before the window state is written; its filter is part of that state.
    m_filterOnAtClose = m_session.articles().isOpen() && m_session.articles().filtered();
    if (!m_session.FormClose(*this)) {
        event->ignore();
        return;
    }
    event->accept();
}

void TForm1::waitForWorker() {
    if (!m_workerRunning) return;
    m_stop = true;
    // The worker's reports run here, so keep serving them until the last one has been made.
    while (m_workerRunning)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

// --- Workers ------------------------------------------------------------------------------------------

bool TForm1::beginWorker() {
    if (m_workerRunning) return false;
    m_workerRunning = true;
    RecordTable& articles = m_session.articles();
    if (articles.filtered()) {
        articles.setFiltered(false); // a run sees every row
        SpeedButton1->setText(QStringLiteral("Filter On"));
    }
    articles.disableControls();
    m_session.topics().disableControls();
    if (m_model) m_model->setAttached(false);
    if (m_topicModel) m_topicModel->setAttached(false);
    for (QAction* a : {Action_Find, Find_End, SetProperties, view_filter_on_off, Go_First, Go_Last})
        a->setEnabled(false);
    return true;
}

void TForm1::reattachGrids() {
    RecordTable& articles = m_session.articles();
    if (articles.controlsDisabled()) articles.enableControls();
    if (m_session.topics().controlsDisabled()) m_session.topics().enableControls();
    if (m_model) m_model->setAttached(true);
    if (m_topicModel) m_topicModel->setAttached(true);
}

void TForm1::endWorker() {
    reattachGrids();
    for (QAction* a : {Action_Find, Find_End, SetProperties, view_filter_on_off, Go_First, Go_Last})
        a->setEnabled(true);
    m_workerRunning = false;
    if (m_closeAfterWorker) {
        m_closeAfterWorker = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

// --- Commands -----------------------------------------------------------------------------------------

// The search commands detach only the article grid: the tables stay the main window's (the full-text
// dialog is modal), and the topic filter is switched off and back on by the search itself.
void TForm1::detachArticleGrid(bool detach) {
    if (m_model) m_model->setAttached(!detach);
    if (!detach) DBGridEh_MVX2->setFocus();
}

void TForm1::Action_FindExecute() {
    if (m_workerRunning) return; // the tables belong to the indexing worker until it reports completion
    search::FindRequest request;
    request.boxText = toCp1251(FlatComboBox1->currentText());
    request.scope = search::ScopeFromItem(FlatComboBox3->currentIndex());
    request.options = {ToolButton5->isChecked(), ToolButton3->isChecked()};
    request.archiveFolder = m_session.archiveFolder;
    request.prefixes = m_session.ini.name_kelvra;
    request.cache = &m_session.fullTextCache();

    search::FindHooks hooks;
    hooks.setBoxText = [this](const std::string& text) { FlatComboBox1->setEditText(fromCp1251(text)); };
    hooks.detachGrid = [this](bool detach) { detachArticleGrid(detach); };
    hooks.runFullText = [this](const search::FullTextJob& job) {
        return RunFullTextWithProgress(this, m_session.articles(), job, m_stop, m_session.messages);
    };
    hooks.showResult = [this](int hits) {
        present(MessageKind::InformationYes,
                fromCp1251(search::FindResultMessage(m_session.messages[75], m_session.messages[76], hits)));
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
    const QString text = FlatComboBox1->currentText();
    setHistory(entries);
    FlatComboBox1->setEditText(text);
}

void TForm1::Find_EndExecute() {
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

void TForm1::GoIndexExecute() {
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
    auto* dialog = new TForm_Process(*this);
    m_indexingDialog = dialog;
    dialog->setWindowModality(Qt::ApplicationModal);
    CentreOnScreen(*dialog);
    dialog->show();
    emit indexingDialogOpened(dialog);
}

void TForm1::SetPropertiesExecute() {
    TForm_Properties::Execute(*this, this);
}

GridLook TForm1::gridLook() {
    GridLook look;
    look.font = m_gridFont;
    look.linkColor = m_linkColor;
    look.findColor = m_findColor;
    look.tableColor = m_tableColor;
    look.cellLines = DBGridEh_MVX2->showGrid();
    look.indicator = DBGridEh_MVX2->verticalHeader()->isVisible();
    return look;
}

void TForm1::applyMainWindowLanguage() {
    const int scope = FlatComboBox3->currentIndex();
    ApplyLanguage(
        language::kTargetMainWindow, m_session.appDir(), m_session.ini.local,
        [this](const TextAssignment& a) { setText(a); }, m_session.messages);
    if (scope >= 0 && scope < FlatComboBox3->count()) FlatComboBox3->setCurrentIndex(scope);
}

void TForm1::keepCurrentRow() {
    showCurrentRow(m_session.articles().position());
    DBGridEh_MVX2->viewport()->update();
}

void TForm1::Clear_HistoryExecute() {
    // Only the list goes; the text in the box stays for the next search.
    const QString text = FlatComboBox1->currentText();
    FlatComboBox1->clear();
    FlatComboBox1->setEditText(text);
}

void TForm1::view_filter_on_offExecute() {
    try {
        RecordTable& articles = m_session.articles();
        catalogue::SwitchFilter(articles, topicFilter(), !articles.filtered());
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
    showFilterState();
}

void TForm1::showFilterState() {
    showRowCount();
    const bool on = m_session.articles().filtered();
    SpeedButton1->setText(on ? QStringLiteral("Filter Off") : QStringLiteral("Filter On"));
    setStatusText(2, on ? QStringLiteral("Фильтр включён F") : QString());
}

void TForm1::filter_go(bool force) {
    if (m_workerRunning) return;
    try {
        catalogue::FilterGo(m_session.articles(), topicFilter(), force);
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
    showFilterState();
}

void TForm1::SpeedButton1Click() {
    filter_go(false);
}

void TForm1::DBGridEh_MVX1DblClick() {
    if (m_workerRunning) return;
    try {
        if (catalogue::ToggleTopic(m_session.topics(), m_session.articles(), topicFilter()))
            setStatusText(1, messageText(78) + QStringLiteral("  ") +
                                 QString::number(m_session.articles().rowCount()));
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
}

void TForm1::DBGridEh_MVX1KeyPress(int key) {
    if (key == Qt::Key_Space) DBGridEh_MVX1DblClick();
}

void TForm1::Image1Click() {
    const bool collapse = Panel3->height() >= kPanel3Collapsed + 1;
    DBGridEh_MVX1->setVisible(!collapse);
    Panel3->findChild<QFrame*>(QStringLiteral("Bevel1"))->setVisible(!collapse);
    Panel3->resize(Panel3->width(), collapse ? kPanel3Collapsed : kPanel3Height);
    // Expanded where it was dragged while collapsed, the panel moves up as far as it needs to stay inside.
    Panel3->move(Panel3->x(), std::clamp(Panel3->y(), 0, std::max(0, Panel1->height() - Panel3->height())));
}

// Pressing on the topic panel's own surface drags it anywhere within the grid area.
bool TForm1::Panel3MouseEvent(QEvent* event) {
    const QEvent::Type type = event->type();
    // Every event of the panel passes here; only mouse events may be read as one.
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    switch (type) {
    case QEvent::MouseButtonPress:
        if (mouse->button() != Qt::LeftButton) return false;
        m_panel3Grip = mouse->position().toPoint(); // the press grabs the mouse until its release
        return true;
    case QEvent::MouseMove: {
        if (m_panel3Grip.x() < 0) return false;
        QPoint to = Panel3->mapToParent(mouse->position().toPoint()) - m_panel3Grip;
        to.setX(std::clamp(to.x(), 0, std::max(0, Panel1->width() - Panel3->width())));
        to.setY(std::clamp(to.y(), 0, std::max(0, Panel1->height() - Panel3->height())));
        Panel3->move(to);
        m_panel3RightGap = Panel1->width() - Panel3->geometry().right() - 1;
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (m_panel3Grip.x() < 0) return false;
        m_panel3Grip = QPoint(-1, -1);
        return true;
    default:
        return false;
    }
}

viewer::OpenSettings TForm1::openSettings() const {
    viewer::OpenSettings s;
    s.appDir = m_session.appDir();
    s.archiveFolder = m_session.archiveFolder;
    s.editionPrefixes = m_session.ini.name_kelvra;
    s.frame = m_session.ini.frame;
    s.viewerChoice = m_session.ini.select_browser;
    s.msieProgram = m_session.ini.path_MSIE;
    s.operaProgram = m_session.ini.path_Opera;
    s.text77 = m_session.messages[77];
    return s;
}

std::string TForm1::selectedFieldName() const {
    // An empty view has no current cell, but the grid keeps its selected column.
    const QModelIndex current = DBGridEh_MVX2->currentIndex();
    const int column = current.isValid()       ? current.column()
                       : m_selectedColumn >= 0 ? m_selectedColumn
                                               : int(ArticleModel::ColStatia);
    return ArticleModel::fieldName(column).toStdString();
}

void TForm1::runOpening(void (*open)(std::string_view, const viewer::ArticleRow&, const viewer::OpenSettings&,
                                     viewer::ViewerHooks&)) {
    try {
        open(selectedFieldName(), viewer::CurrentArticleRow(m_session.articles()), openSettings(),
             *m_viewerHooks);
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
}

void TForm1::helpExecute() {
    try {
        viewer::helpExecute(openSettings(), *m_viewerHooks);
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
}

void TForm1::Action1Execute() {
    try {
        viewer::Action1Execute(openSettings(), *m_viewerHooks);
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
}

void TForm1::ExitExecute() {
    close();
}

void TForm1::ReadAbutExecute() {
    TAbut::showModal(this, m_session.appDir(), m_session.ini.local);
}

void TForm1::Go_FirstExecute() {
    try {
        m_session.articles().first();
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
}

void TForm1::Go_LastExecute() {
    try {
        m_session.articles().last();
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        showError(MessageOf(e));
    }
}

void TForm1::ToolButton17Click() {
    Panel3->setVisible(Panel3->isHidden());
    ToolButton17->setChecked(!Panel3->isHidden());
    if (!Panel3->isHidden()) placeTopicPanel();
}

void TForm1::OpenCurrentRow() {
    runOpening(&viewer::OpenCurrentRow);
}
void TForm1::MSIE1Click() {
    runOpening(&viewer::MSIE1Click);
}
void TForm1::Opera1Click() {
    runOpening(&viewer::Opera1Click);
}
void TForm1::N10Click() {
    runOpening(&viewer::N10Click);
}

// --- The article grid ---------------------------------------------------------------------------------

void TForm1::DBGridEh_MVX2MouseDown(Qt::MouseButton button) {
    if (!DBGridEh_MVX2->hasFocus()) {
        FlatComboBox1->setFocus();
        DBGridEh_MVX2->setFocus();
    }
    m_cellPress = button == Qt::LeftButton;
}

void TForm1::DBGridEh_MVX2CellClick() {
    if (!m_session.ini.onclick || !m_cellPress) return;
    if (m_model && m_model->rowCount() > 0) {
        OpenCurrentRow();
        m_cellPress = false;
    }
}

void TForm1::DBGridEh_MVX2DblClick() {
    if (m_session.ini.onclick || !m_cellPress) return;
    if (m_model && m_model->rowCount() > 0) OpenCurrentRow();
}

void TForm1::DBGridEh_MVX2TitleClick(int /*column*/) {
    m_cellPress = false;
}

void TForm1::DBGridEh_MVX2TitleBtnClick(int column) {
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

void TForm1::DBGridEh_MVX2MouseUp(Qt::MouseButton button, const QPoint& globalPos) {
    FlatComboBox1->setFocus();
    DBGridEh_MVX2->setFocus();
    const int column = DBGridEh_MVX2->currentIndex().column();
    const bool opensSomething = column == ArticleModel::ColType || column == ArticleModel::ColNumber ||
                                column == ArticleModel::ColStatia;
    if (m_session.ini.select_browser == 1 && opensSomething && button == Qt::RightButton)
        ElPopupMenu1->popup(globalPos);
}

void TForm1::DBGridEh_MVX2KeyPress(int /*key*/) {
    OpenCurrentRow();
}

void TForm1::DBGridEh_MVX2MouseEnter() {
    if (QGuiApplication::applicationState() != Qt::ApplicationActive) return;
    FlatComboBox1->setFocus();
    DBGridEh_MVX2->setFocus();
}

void TForm1::DBGridEh_MVX1MouseEnter() {
    if (QGuiApplication::applicationState() != Qt::ApplicationActive) return;
    FlatComboBox1->setFocus();
    DBGridEh_MVX1->setFocus();
}

void TForm1::showCurrentRow(int row) {
    if (!m_model || row < 0 || row >= m_model->rowCount()) return;
    const QModelIndex current = DBGridEh_MVX2->currentIndex();
    const QModelIndex index =
        m_model->index(row, current.isValid() ? current.column() : ArticleModel::ColStatia);
    if (current.row() != row) DBGridEh_MVX2->setCurrentIndex(index);
    DBGridEh_MVX2->scrollTo(index);
}

// After a new order the rows that now stand above the current one matter (the favourites, the hits):
// the grid shows as many of them as it can, from the first row when the current one is on the first page.
void TForm1::showCurrentRowInContext() {
    const QModelIndex current = DBGridEh_MVX2->currentIndex();
    if (!current.isValid()) return;
    const int rowHeight = std::max(1, DBGridEh_MVX2->verticalHeader()->defaultSectionSize());
    const int visibleRows = DBGridEh_MVX2->viewport()->height() / rowHeight;
    if (current.row() < visibleRows)
        DBGridEh_MVX2->scrollToTop();
    else
        DBGridEh_MVX2->scrollTo(current, QAbstractItemView::PositionAtCenter);
}

// --- Look ---------------------------------------------------------------------------------------------

void TForm1::setSortColumn(const QString& field) {
    m_sortColumn = field;
    const int column = ArticleModel::columnOf(field);
    // Qt draws the upward triangle for the descending indicator.
    DBGridEh_MVX2->horizontalHeader()->setSortIndicator(column, Qt::DescendingOrder);
}

void TForm1::ApplyGridLook(const Font& font, Color linkColor, Color findColor, Color tableColor) {
    m_gridFont = font;
    m_linkColor = linkColor;
    m_findColor = findColor;
    m_tableColor = tableColor;
    m_delegate->setFindColor(toQColor(findColor));
    // The application's style sheet decides the colours of every widget it polishes, so the grid's own
    // colours go into a style sheet of its own: a palette alone would be ignored.
    DBGridEh_MVX2->setStyleSheet(
        QStringLiteral("QTableView { background-color: %1; }").arg(toQColor(tableColor).name()));
    m_delegate->setTextColor(toQColor(font.color));
    QFont f = DBGridEh_MVX2->font();
    f.setFamily(fromCp1251(font.name));
    if (font.size() > 0) f.setPointSize(font.size());
    f.setBold(font.style & fontstyle::bold);
    f.setItalic(font.style & fontstyle::italic);
    f.setUnderline(font.style & fontstyle::underline);
    f.setStrikeOut(font.style & fontstyle::strikeout);
    f.setFixedPitch(font.pitch == 2);
    DBGridEh_MVX2->setFont(f);
    DBGridEh_MVX2->verticalHeader()->setDefaultSectionSize(QFontMetrics(f).height() + 4);
    m_delegate->setLinkFont(f, toQColor(linkColor));
    DBGridEh_MVX2->viewport()->update();
}

void TForm1::SwitchBrowserPane(bool on) {
    if (!on) {
        delete m_browser;
        m_browser = nullptr;
        if (Panel2->isHidden()) return;
        // The grid area's height is kept for the pane's return; a window never laid out has none yet.
        if (m_shownOnce) m_upperPanelHeight = Panel1->height();
        Panel2->hide(); // the grid area fills the client area
        if (Splitter1->count() > 1) Splitter1->handle(1)->setEnabled(false);
        return;
    }
    if (!Panel2->isHidden()) return; // also without a view: only a switch off and on tries again
    Panel2->show();
    if (m_upperPanelHeight < 10) m_upperPanelHeight = 55;
    layOutPane();
    if (Splitter1->count() > 1) Splitter1->handle(1)->setEnabled(true);
    if (m_browser) return;
    try {
        m_browser = new TCustomizedWebBrowser(Panel2);
        m_browser->setObjectName(QStringLiteral("webBrowser"));
        m_browser->setFocusPolicy(Qt::StrongFocus);
        QWidget::setTabOrder(FlatComboBox1, m_browser);
        connect(m_browser, &TCustomizedWebBrowser::OnMouseEnter, this, &TForm1::webBrowser_mousEnter);
        connect(m_browser, &TCustomizedWebBrowser::OnMouseLeave, this, &TForm1::webBrowser_mousLeav);
        connect(m_browser, &TCustomizedWebBrowser::StatusTextChange, this,
                &TForm1::WebBrowserStatusTextChange);
        connect(m_browser, &TCustomizedWebBrowser::DocumentComplete, this, &TForm1::WBDocumentComplete);
        m_browser->setHighlightSource([this] {
            return HighlightRequest{m_session.ini.text_search, ToolButton3->isChecked(),
                                    ToolButton5->isChecked(), ColorToHex(m_session.ini.color_htm_fon)};
        });
        Panel2Resize();
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
void TForm1::layOutPane() {
    if (!isVisible()) {
        layout()->activate(); // the client area's size before the window is first shown
        centralWidget()->layout()->activate();
    }
    const int total = Splitter1->height() - Splitter1->handleWidth();
    int upper = m_upperPanelHeight;
    if (total - upper < 2) upper -= kMinimumPaneHeight + 125;
    upper = std::max(upper, kMinimumPaneHeight);
    Splitter1->setSizes({upper, std::max(total - upper, kMinimumPaneHeight)});
}

void TForm1::Panel2Resize() {
    if (m_browser) m_browser->setGeometry(Panel2->contentsRect());
}

void TForm1::webBrowser_mousEnter() {
    if (QGuiApplication::applicationState() != Qt::ApplicationActive || !m_browser) return;
    FlatComboBox1->setFocus();
    m_browser->setFocus(); // into the page's own window
}

void TForm1::webBrowser_mousLeav() {}

void TForm1::WebBrowserStatusTextChange(const QString& text) {
    setStatusText(3, text);
}

void TForm1::WBDocumentComplete() {
    // The view itself takes the border off and highlights the search text in every document as it
    // completes, with the request its highlight source gives at the navigation.
}

void TForm1::placeTopicPanel() {
    // Anchored to the grid area's top and right edges.
    const int x = std::max(0, Panel1->width() - m_panel3RightGap - Panel3->width());
    const int y = std::clamp(Panel3->y(), 0, std::max(0, Panel1->height() - Panel3->height()));
    Panel3->move(x, y);
    Panel3->raise();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Panel1 && event->type() == QEvent::Resize && Panel3->isVisible()) placeTopicPanel();
    if (watched == Panel2 && event->type() == QEvent::Resize) Panel2Resize();
    if (watched == Image1 && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Image1Click();
        return true;
    }
    if (watched == Panel3 && Panel3MouseEvent(event)) return true;
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::setSearchResultsEndEnabled(bool enabled) {
    ToolButton10->setEnabled(enabled);
}

// --- Status bar and messages --------------------------------------------------------------------------

void TForm1::setStatusText(int panel, const QString& text) {
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

QString TForm1::statusText(int panel) const {
    return panel >= 1 && panel <= 3 ? m_panels[panel - 1]->text() : QString();
}

QString TForm1::messageText(int key) const {
    return fromCp1251(m_session.messages[key]);
}

void TForm1::present(MessageKind kind, const QString& text) {
    // The messages separate their lines with a carriage return.
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_presenter(this, kind, shown);
}

void TForm1::showErrorMessage(const QString& text) {
    present(MessageKind::Error, text);
}
void TForm1::showInformationMessage(const QString& text) {
    present(MessageKind::Information, text);
}
void TForm1::showInformation(const Message& message) {
    present(MessageKind::Information, messageFor(message));
}
void TForm1::showError(const Message& message) {
    present(MessageKind::Error, messageFor(message));
}
QString TForm1::messageFor(const Message& message) const {
    return QString::fromStdString(m_session.messages.render(message));
}

// --- Settings and language ----------------------------------------------------------------------------

SettingsHooks TForm1::settingsHooks() {
    SettingsHooks hooks;
    hooks.SwitchBrowserPane = [this](bool on) { SwitchBrowserPane(on); };
    hooks.SetGridLines = [this](bool lines) { DBGridEh_MVX2->setShowGrid(lines); };
    hooks.SetGridIndicator = [this](bool shown) {
        DBGridEh_MVX2->verticalHeader()->setVisible(shown);
        if (m_model) m_model->setIndicator(shown);
    };
    hooks.ReapplyTopicFilter = [this] {
        if (m_session.articles().filtered()) filter_go(true);
    };
    return hooks;
}

void TForm1::setText(const TextAssignment& a) {
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

void TForm1::setHistory(const std::vector<std::string>& entries) {
    FlatComboBox1->clear();
    for (const std::string& e : entries)
        FlatComboBox1->addItem(fromCp1251(e));
}

std::vector<std::string> TForm1::history() const {
    std::vector<std::string> out;
    for (int i = 0; i < FlatComboBox1->count(); ++i)
        out.push_back(toCp1251(FlatComboBox1->itemText(i)));
    return out;
}

void TForm1::selectHistoryEntry(int index) {
    if (index >= 0 && index < FlatComboBox1->count()) FlatComboBox1->setCurrentIndex(index);
}

} // namespace marovex
