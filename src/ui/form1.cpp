#include "ui/form1.h"

#include "base/cp1251.h"
#include "catalogue/catalogue.h"
#include "ui/articlegriddelegate.h"
#include "ui/articlemodel.h"
#include "ui/dbgrideh_mvx.h"
#include "ui/icons.h"
#include "ui/indexingdialog.h"
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
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace marovex {

namespace {

QString fromCp1251(std::string_view bytes) {
    return QString::fromStdString(cp1251::toUtf8(bytes));
}
std::string toCp1251(const QString& text) {
    return cp1251::fromUtf8(text.toStdString());
}

void defaultPresenter(QWidget* parent, TForm1::MessageKind kind, const QString& text) {
    if (kind == TForm1::MessageKind::Information)
        QMessageBox::information(parent, QApplication::applicationDisplayName(), text, QMessageBox::Ok);
    else
        QMessageBox::critical(parent, QApplication::applicationDisplayName(), text, QMessageBox::Ok);
}

void defaultShellOpener(const QString& file) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

QColor toQColor(Color c) {
    const Color rgb = ColorToRGB(c);
    return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

// Grid columns: built-in width and smallest width.
struct ColumnLayout {
    int width, minimum;
};
constexpr ColumnLayout kColumns[ArticleModel::ColumnCount] = {
    {39, 5}, {116, 15}, {31, 15}, {97, 15}, {460, 15}};

constexpr int kPanel3Width = 229;
constexpr int kPanel3Height = 157;
constexpr int kMinimumPaneHeight = 25;
constexpr int kDefaultUpperPanelHeight = 125;

} // namespace

TForm1::TForm1(std::filesystem::path appDir, MessagePresenter presenter, QWidget* parent)
    : QMainWindow(parent), m_session(std::move(appDir)),
      m_presenter(presenter ? std::move(presenter) : MessagePresenter(defaultPresenter)),
      m_shellOpener(defaultShellOpener) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Marovex v2.0"));
    setWindowIcon(icons::ImageList1(9));
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
    const std::string error = m_session.closeTopicTable();
    if (!error.empty()) present(MessageKind::Error, QString::fromStdString(error));
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
    // Enter in the search box runs the search command.
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
    auto* image1 = new QLabel(Panel3);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setPixmap(icons::ImageList1(5).pixmap(QSize(20, 20), devicePixelRatioF()));
    image1->setFixedSize(20, 20);
    image1->setCursor(Qt::PointingHandCursor);
    header->addWidget(image1);
    header->addStretch();
    SpeedButton1 = new QToolButton(Panel3);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("Filter On"));
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setMinimumSize(47, 16);
    connect(SpeedButton1, &QToolButton::clicked, view_filter_on_off, &QAction::trigger);
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
    Panel3->hide();

    auto* pane = new QFrame(Splitter1);
    pane->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    pane->setAutoFillBackground(true);
    pane->setPalette(white);
    Panel2 = pane;
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setMinimumHeight(kMinimumPaneHeight);
    Panel2->hide(); // the embedded browser's pane, shown only while that viewer is chosen
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
}

void TForm1::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    bar->setMinimumHeight(19);
    const int widths[3] = {140, 150, 0};
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
    if (m_session.startupFailed()) return;

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
                    showError(e.what());
                }
            });
    showCurrentRow(m_session.articles().position());

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
}

void TForm1::restoreState() {
    // The rest of the state kept between runs comes with its own code; the row count is shown once the
    // order and filter are in place.
    std::error_code ec;
    if (!std::filesystem::exists(SettingsFilePath(m_session.appDir()), ec)) return;
    setStatusText(1, QStringLiteral("Всего статей : ") + QString::number(m_session.articles().rowCount()));
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

void TForm1::Action_FindExecute() {
    // The title and full-text search arrive with their own code.
}

void TForm1::Find_EndExecute() {
    // Clearing the search results arrives with the search code.
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
        showInformationMessage(QStringLiteral("Дождитесь окончания поиска."));
        return;
    }
    auto* dialog = new TForm_Process(*this);
    m_indexingDialog = dialog;
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
    emit indexingDialogOpened(dialog);
}

void TForm1::SetPropertiesExecute() {
    // The settings dialog arrives with its own code.
}

void TForm1::Clear_HistoryExecute() {
    // Only the list goes; the text in the box stays for the next search.
    const QString text = FlatComboBox1->currentText();
    FlatComboBox1->clear();
    FlatComboBox1->setEditText(text);
}

void TForm1::view_filter_on_offExecute() {
    // The topic filter arrives with its own code.
}

void TForm1::helpExecute() {
    Open_File(QStringLiteral("Help/help.html"));
}

void TForm1::Action1Execute() {
    Open_File(QStringLiteral("Help/new.html"));
}

void TForm1::Open_File(const QString& relativePath) {
    const QString file =
        QString::fromStdString((m_session.appDir() / relativePath.toStdString()).lexically_normal().string());
    if (!QFileInfo::exists(file)) {
        present(MessageKind::Information, messageText(77) + QStringLiteral(" \n") + file);
        return;
    }
    m_shellOpener(file);
}

void TForm1::ExitExecute() {
    close();
}

void TForm1::ReadAbutExecute() {
    // The About box arrives with its own code.
}

void TForm1::Go_FirstExecute() {
    try {
        m_session.articles().first();
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        showError(e.what());
    }
}

void TForm1::Go_LastExecute() {
    try {
        m_session.articles().last();
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        showError(e.what());
    }
}

void TForm1::ToolButton17Click() {
    Panel3->setVisible(!Panel3->isVisible());
    ToolButton17->setChecked(Panel3->isVisible());
    if (Panel3->isVisible()) placeTopicPanel();
}

void TForm1::OpenCurrentRow() {
    emit currentRowOpening(m_session.ini.select_browser);
    // Opening articles arrives with the viewer code.
}

void TForm1::openWithViewer(int viewerChoice) {
    const std::int32_t kept = m_session.ini.select_browser;
    m_session.ini.select_browser = viewerChoice;
    try {
        OpenCurrentRow();
    } catch (...) {
        m_session.ini.select_browser = kept;
        throw;
    }
    m_session.ini.select_browser = kept;
}

void TForm1::MSIE1Click() {
    openWithViewer(2);
}
void TForm1::Opera1Click() {
    openWithViewer(3);
}
void TForm1::N10Click() {
    openWithViewer(4);
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
    emit sortRequested(ArticleModel::fieldName(column));
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

// --- Look ---------------------------------------------------------------------------------------------

void TForm1::setSortColumn(const QString& field) {
    m_sortColumn = field;
    const int column = ArticleModel::columnOf(field);
    // Qt draws the upward triangle for the descending indicator.
    DBGridEh_MVX2->horizontalHeader()->setSortIndicator(column, Qt::DescendingOrder);
}

void TForm1::ApplyGridLook(const Font& font, Color linkColor, Color findColor, Color tableColor) {
    m_delegate->setFindColor(toQColor(findColor));
    QPalette p = DBGridEh_MVX2->palette();
    p.setColor(QPalette::Base, toQColor(tableColor));
    p.setColor(QPalette::Text, toQColor(font.color));
    DBGridEh_MVX2->setPalette(p);
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
    if (Panel2->isVisible() == on) return;
    Panel2->setVisible(on);
    // The grid area keeps the upper panel height; the pane takes the rest and any later growth.
    if (on)
        Splitter1->setSizes(
            {kDefaultUpperPanelHeight, std::max(Splitter1->height(), 2 * kMinimumPaneHeight)});
    if (Splitter1->count() > 1) Splitter1->handle(1)->setEnabled(on);
}

void TForm1::placeTopicPanel() {
    Panel3->move(std::max(0, Panel1->width() - Panel3->width()), 0);
    Panel3->raise();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Panel1 && event->type() == QEvent::Resize && Panel3->isVisible()) placeTopicPanel();
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::setSearchResultsEndEnabled(bool enabled) {
    ToolButton10->setEnabled(enabled);
}

// --- Status bar and messages --------------------------------------------------------------------------

void TForm1::setStatusText(int panel, const QString& text) {
    if (panel < 1 || panel > 3) return;
    m_panels[panel - 1]->setText(text);
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
void TForm1::showInformation(const std::string& text) {
    present(MessageKind::Information, QString::fromStdString(text));
}
void TForm1::showError(const std::string& text) {
    present(MessageKind::Error, QString::fromStdString(text));
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
    case TextProperty::TreeNode:
    case TextProperty::FontCharset: // texts are Unicode here; the character set needs no switching
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
