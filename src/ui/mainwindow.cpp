#include "ui/mainwindow.h"

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
#include "ui/commandguard.h"
#include "ui/desktopopen.h"
#include "ui/helpwindow.h"
#include "ui/icons.h"
#include "ui/indexingdialog.h"
#include "ui/mainwindowparts.h"
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
#include <QWindow>

namespace marovex {

namespace {

using qtconvert::toQColor;
using namespace mainwindowparts;

bool defaultPresenter(QWidget* parent, MainWindow::MessageKind kind, const QString& text) {
    return showMessageBox(parent, kind, text);
}

// What an opening asks of the window, answered by the window's own functions.
class MainWindowViewerHooks final : public viewer::ViewerHooks {
public:
    std::function<ArchiveView*()> browser;
    std::function<std::filesystem::path()> archiveRoot;
    std::function<void(const QString&, viewer::ShellFallback)> shellOpener;
    std::function<void(viewer::MessageIcon, const QString&)> message;
    std::function<void(const QString&)> caption;
    std::function<void()> toggle;

    bool embeddedBrowserPresent() override { return browser() != nullptr; }
    void navigate(const std::filesystem::path& file) override {
        if (ArchiveView* view = browser()) {
            // The pane shows the archive alone; the settings may have named another one since.
            view->setArchiveRoot(archiveRoot());
            view->navigate(file);
        }
    }
    void shellOpen(const std::filesystem::path& file, viewer::ShellFallback fallback) override {
        shellOpener(toQString(file), fallback);
    }
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

} // namespace

MainWindow::MainWindow(std::filesystem::path appDir, MessagePresenter presenter, QWidget* parent)
    : QMainWindow(parent), m_service(std::move(appDir)), m_session(m_service.session()),
      m_presenter(presenter ? std::move(presenter) : MessagePresenter(defaultPresenter)),
      m_shellOpener([this](const QString& file, std::function<void(const Message&)> failed) {
          marovex::openWithDesktop(file, this, std::move(failed));
      }) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kApplicationTitle);
    useQtTranslations(true); // as the built-in texts, until a language file says otherwise
    setWindowIcon(icons::toolIcon(icons::Icon::Binoculars));
    auto hooks = std::make_unique<MainWindowViewerHooks>();
    hooks->browser = [this] { return webBrowser(); };
    hooks->archiveRoot = [this] { return indexer::archiveFolderPath(m_session.archiveFolder); };
    hooks->shellOpener = [this](const QString& file, viewer::ShellFallback fallback) {
        openWithDesktop(file, fallback);
    };
    hooks->message = [this](viewer::MessageIcon icon, const QString& text) {
        present(icon == viewer::MessageIcon::Error ? MessageKind::ErrorYes : MessageKind::InformationYes,
                text);
    };
    hooks->caption = [this](const QString& text) { setWindowTitle(text); };
    hooks->toggle = [this] { catalogue::toggleFavourite(m_session.articles()); };
    m_viewerHooks = std::move(hooks);
    connect(&m_service, &CatalogueService::tablesLent, this, &MainWindow::onTablesLent);
    connect(&m_service, &CatalogueService::tablesReturned, this, &MainWindow::onTablesReturned);
    connect(&m_service, &CatalogueService::tableReport, this,
            [this](const QString& text) { present(MessageKind::Information, text); });
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
    delete m_viewPane->view(); // its page goes before the window's other children
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

// --- Start-up and shutdown ----------------------------------------------------------------------------

void MainWindow::startUp() {
    showStartup(m_session.startUp());
    if (m_model) showCurrentRow(m_session.articles().position());
}

void MainWindow::showStartup(const Startup& startup) {
    if (startup.catalogueOpen) {
        attachGrids();
        if (startup.pane) preparePane(*startup.pane);
        if (startup.settings) applySettings(*startup.settings);
        for (const TextAssignment& text : startup.texts)
            setText(text);
        m_viewPane->retranslate();
        showFilterButton();
        if (startup.state) restoreState(startup);
        if (startup.history) setHistory(*startup.history);
        if (startup.searchResultsEnd) setSearchResultsEndEnabled(true);
        if (startup.selectFirstHistoryEntry) selectHistoryEntry(0);
    }
    for (const Notice& notice : startup.notices) {
        if (notice.kind == Notice::Kind::Error)
            showError(notice.message);
        else
            showInformation(notice.message);
    }
}

// The grids take the tables as soon as they are open, so that everything start-up does to the tables
// afterwards (order, filter, current row) shows at once.
void MainWindow::attachGrids() {
    m_model = new ArticleModel(m_session.articles(), this);
    m_model->setColumnTitles(m_columnTitles);
    m_model->setFavouritesTitleIcon(icons::toolIcon(icons::Icon::FavouriteOutline));
    m_model->setIndicator(m_articleGrid->verticalHeader()->isVisible());
    m_articleGrid->setModel(m_model);
    for (int c = 0; c < ArticleModel::ColumnCount; ++c) {
        m_articleGrid->setColumnMinimumWidth(c, kColumns[c].minimum);
        m_articleGrid->setColumnWidthHint(c, kColumns[c].width);
    }
    fitNumberColumnToNumbers();
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
                runReported(std::bind_front(&MainWindow::showError, this),
                            [&] { m_session.articles().moveTo(current.row()); });
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
}

catalogue::TopicFilter& MainWindow::topicFilter() {
    return m_session.topicFilter();
}

void MainWindow::showRowCount() {
    setStatusText(1, messageText(msg::RowCount, {std::to_string(m_session.articles().rowCount())}));
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        onFirstShown();
    }
}

void MainWindow::onFirstShown() {
    // The window manager's frame is known when the window is first exposed.
    if (QWindow* window = windowHandle()) window->installEventFilter(this);
    // After a failed start-up the window closes the moment it is shown, which ends the application.
    if (m_session.startupFailed()) QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_service.isLent()) {
        // The tables belong to the worker until it reports completion: ask it to stop and close then.
        m_service.stopFlag() = true;
        m_closeAfterWorker = true;
        event->ignore();
        return;
    }
    // The state is taken before the table is closed; its filter is part of that state.
    const MainSession::Closed closed = m_session.shutDown({currentState(), history()});
    if (closed.error) {
        showError(*closed.error);
        event->ignore();
        return;
    }
    for (const Message& note : closed.notes)
        showError(note);
    event->accept();
}

void MainWindow::waitForWorker() {
    if (!m_service.isLent()) return;
    m_service.stopFlag() = true;
    // The worker's reports run on this thread: an event loop serves them until the last one has ended it.
    QEventLoop untilEnded;
    connect(&m_service, &CatalogueService::tablesReturned, &untilEnded, &QEventLoop::quit);
    if (m_service.isLent()) untilEnded.exec();
}

// --- Workers ------------------------------------------------------------------------------------------

void MainWindow::onTablesLent(bool filterSwitchedOff) {
    if (filterSwitchedOff) m_topicFilterButton->setText(messageText(msg::FilterOnButton));
    if (m_model) m_model->setAttached(false);
    if (m_topicModel) m_topicModel->setAttached(false);
    for (QAction* a : {m_findAction, m_clearResultsAction, m_settingsAction, m_topicFilterAction,
                       m_firstRowAction, m_lastRowAction})
        a->setEnabled(false);
}

void MainWindow::onTablesReturned() {
    if (m_model) m_model->setAttached(true);
    if (m_topicModel) m_topicModel->setAttached(true);
    for (QAction* a : {m_findAction, m_clearResultsAction, m_settingsAction, m_topicFilterAction,
                       m_firstRowAction, m_lastRowAction})
        a->setEnabled(true);
    if (m_closeAfterWorker) {
        m_closeAfterWorker = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
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

QString MainWindow::messageText(int key, std::initializer_list<std::string> args) const {
    return QString::fromStdString(args.size() == 0 ? m_session.messages[key]
                                                   : m_session.messages.format(key, args));
}

bool MainWindow::present(MessageKind kind, const QString& text, QWidget* parent) {
    // The messages separate their lines with a carriage return.
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return m_presenter(parent ? parent : this, kind, shown);
}

bool MainWindow::ask(QWidget* parent, const QString& text) {
    return present(MessageKind::Question, text, parent);
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

void MainWindow::applySettings(const SettingsEffects& effects) {
    switchViewPane(effects.viewPane);
    m_articleGrid->setShowGrid(effects.cellLines);
    m_articleGrid->verticalHeader()->setVisible(effects.indicator);
    if (m_model) m_model->setIndicator(effects.indicator);
}

void MainWindow::reapplyTopicFilter() {
    if (m_session.articles().filtered()) applyTopicFilter(true);
}

void MainWindow::setText(const TextAssignment& a) {
    const QString text = QString::fromStdString(a.text);
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
        if (target == this) useQtTranslations(a.index == language::kCyrillicCharset);
        break;
    case TextProperty::TreeNode:
    case TextProperty::ColumnTitle:
        break;
    }
}

void MainWindow::setHistory(const std::vector<std::string>& entries) {
    m_searchBox->clear();
    for (const std::string& e : entries)
        m_searchBox->addItem(QString::fromStdString(e));
}

std::vector<std::string> MainWindow::history() const {
    std::vector<std::string> out;
    for (int i = 0; i < m_searchBox->count(); ++i)
        out.push_back(m_searchBox->itemText(i).toStdString());
    return out;
}

void MainWindow::selectHistoryEntry(int index) {
    if (index >= 0 && index < m_searchBox->count()) m_searchBox->setCurrentIndex(index);
}

} // namespace marovex
