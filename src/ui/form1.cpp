#include "ui/form1.h"

#include "base/cp1251.h"
#include "ui/articlemodel.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace marovex {

namespace {

QString fromCp1251(const std::string& bytes) { return QString::fromStdString(cp1251::toUtf8(bytes)); }
std::string toCp1251(const QString& text) { return cp1251::fromUtf8(text.toStdString()); }

void defaultPresenter(QWidget* parent, TForm1::MessageKind kind, const QString& text) {
    if (kind == TForm1::MessageKind::Information)
        QMessageBox::information(parent, QApplication::applicationDisplayName(), text, QMessageBox::Ok);
    else
        QMessageBox::critical(parent, QApplication::applicationDisplayName(), text, QMessageBox::Ok);
}

} // namespace

TForm1::TForm1(std::filesystem::path appDir, MessagePresenter presenter, QWidget* parent)
    : QMainWindow(parent), m_session(std::move(appDir)),
      m_presenter(presenter ? std::move(presenter) : MessagePresenter(defaultPresenter)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Marovex v2.0"));
    buildWindow();
    FormCreate();
}

TForm1::~TForm1() {
    // The topic table goes with the main window; it is written back here when it changed.
    const std::string error = m_session.closeTopicTable();
    if (!error.empty()) present(MessageKind::Error, error);
}

void TForm1::buildWindow() {
    m_exit = new QAction(tr("Exit"), this);
    m_exit->setObjectName(QStringLiteral("Exit"));
    m_exit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_X));
    m_exit->setShortcutContext(Qt::ApplicationShortcut);
    connect(m_exit, &QAction::triggered, this, &TForm1::ExitExecute);
    addAction(m_exit);

    m_setProperties = new QAction(tr("Settings..."), this);
    m_setProperties->setObjectName(QStringLiteral("SetProperties"));
    connect(m_setProperties, &QAction::triggered, this, &TForm1::SetPropertiesExecute);

    // Menu items are actions of their own, named as the language files address them.
    auto menuItem = [this](QMenu* menu, const char* name, QAction* command) {
        auto* item = menu->addAction(command->text());
        item->setObjectName(QString::fromLatin1(name));
        item->setShortcut(command->shortcut());
        item->setShortcutContext(Qt::WidgetShortcut); // the command's own shortcut serves the window
        connect(item, &QAction::triggered, command, &QAction::trigger);
        return item;
    };
    auto* fileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->menuAction()->setObjectName(QStringLiteral("ElMenuItem4"));
    fileMenu->addSeparator()->setObjectName(QStringLiteral("ElMenuItem8"));
    menuItem(fileMenu, "ElMenuItem9", m_exit);
    auto* settingsMenu = menuBar()->addMenu(tr("&Settings"));
    settingsMenu->menuAction()->setObjectName(QStringLiteral("ElMenuItem5"));
    menuItem(settingsMenu, "ElMenuItem10", m_setProperties);

    auto* toolBar = addToolBar(tr("Tools"));
    toolBar->setObjectName(QStringLiteral("ToolBar1"));
    toolBar->setMovable(false);
    m_searchBox = new QComboBox(toolBar);
    m_searchBox->setObjectName(QStringLiteral("FlatComboBox1"));
    m_searchBox->setEditable(true);
    m_searchBox->setInsertPolicy(QComboBox::NoInsert);
    m_searchBox->setMinimumContentsLength(24);
    toolBar->addWidget(m_searchBox);
    m_searchEnd = new QToolButton(toolBar);
    m_searchEnd->setObjectName(QStringLiteral("ToolButton10"));
    m_searchEnd->setText(tr("End of results"));
    m_searchEnd->setEnabled(false);
    toolBar->addWidget(m_searchEnd);
    auto* settingsButton = new QToolButton(toolBar);
    settingsButton->setObjectName(QStringLiteral("ToolButton19"));
    settingsButton->setDefaultAction(m_setProperties);
    toolBar->addWidget(settingsButton);

    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("DBGridEh_MVX2"));
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    setCentralWidget(m_grid);

    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    resize(1000, 650);
}

void TForm1::FormCreate() {
    m_session.FormCreate(*this);
    if (m_session.startupFailed()) return;
    m_model = new ArticleModel(m_session.articles(), this);
    m_model->setColumnTitles(m_columnTitles);
    m_grid->setModel(m_model);
    connect(m_model, &ArticleModel::currentRowChanged, this, &TForm1::showCurrentRow);
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!current.isValid() || current.row() == m_session.articles().position()) return;
                // Moving stores a pending edit; a refused store has shown its message already.
                try {
                    m_session.articles().moveTo(current.row());
                } catch (const StoreAborted&) {
                } catch (const std::exception& e) {
                    showError(e.what());
                }
            });
    showCurrentRow(m_session.articles().position());
    statusBar()->showMessage(QString::number(m_session.articles().rowCount()));
}

void TForm1::showCurrentRow(int row) {
    if (!m_model || row < 0 || row >= m_model->rowCount()) return;
    const QModelIndex index = m_model->index(row, m_grid->currentIndex().isValid() ? m_grid->currentIndex().column() : 0);
    if (m_grid->currentIndex().row() != row) m_grid->setCurrentIndex(index);
    m_grid->scrollTo(index);
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
    if (!m_session.FormClose(*this)) {
        event->ignore();
        return;
    }
    if (m_model) {
        m_grid->setModel(nullptr);
        delete m_model;
        m_model = nullptr;
    }
    event->accept();
}

void TForm1::ExitExecute() { close(); }

void TForm1::SetPropertiesExecute() {
    // The settings dialog is not part of this build yet.
    statusBar()->showMessage(tr("Settings are not available yet"), 3000);
}

void TForm1::present(MessageKind kind, const std::string& text) {
    // The messages separate their lines with a carriage return.
    QString shown = QString::fromStdString(text);
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_presenter(this, kind, shown);
}

SettingsHooks TForm1::settingsHooks() {
    SettingsHooks hooks;
    hooks.SetGridLines = [this](bool lines) { m_grid->setShowGrid(lines); };
    hooks.SetGridIndicator = [this](bool shown) { m_grid->verticalHeader()->setVisible(shown); };
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
    if (!target) return; // a component this window does not have (yet)
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
        if (auto* action = qobject_cast<QAction*>(target))
            action->setToolTip(text);
        else if (auto* widget = qobject_cast<QWidget*>(target))
            widget->setToolTip(text);
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

void TForm1::showInformation(const std::string& text) { present(MessageKind::Information, text); }
void TForm1::showError(const std::string& text) { present(MessageKind::Error, text); }

void TForm1::setHistory(const std::vector<std::string>& entries) {
    m_searchBox->clear();
    for (const std::string& e : entries) m_searchBox->addItem(fromCp1251(e));
}

std::vector<std::string> TForm1::history() const {
    std::vector<std::string> out;
    for (int i = 0; i < m_searchBox->count(); ++i) out.push_back(toCp1251(m_searchBox->itemText(i)));
    return out;
}

void TForm1::selectHistoryEntry(int index) {
    if (index >= 0 && index < m_searchBox->count()) m_searchBox->setCurrentIndex(index);
}

void TForm1::setSearchResultsEndEnabled(bool enabled) { m_searchEnd->setEnabled(enabled); }

} // namespace marovex
