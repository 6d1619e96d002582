#include "ui/settingsdialog.h"

#include "app/mainsession.h"
#include "app/settingsactions.h"
#include "ui/colorswatch.h"
#include "ui/messagebox.h"
#include "ui/placement.h"
#include "ui/qtconvert.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace marovex {

namespace sd = settingsactions;

namespace {

// Tree node by node number: its built-in text and the page it shows (-1: none).
struct Node {
    const char* text;
    int page;
};
constexpr Node kNodes[] = {
    {"Доступ к журналам", 0}, {"Свойства", 1},     {"Вид", -1},    {"Шрифт и Цвет в таблице", 2},
    {"Свойства таблицы", 3},  {"Поиск в HTML", 4}, {"Browser", 5}, {"Язык", 6},
};
constexpr int kViewNode = 2; // parent of nodes 3 to 5

// The smallest client area the dialog keeps.
constexpr QSize kClientArea(421, 336);

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

SettingsDialogServices standardServices() {
    SettingsDialogServices s;
    s.pickColor = [](QWidget* parent, const QColor& initial) -> std::optional<QColor> {
        const QColor c = QColorDialog::getColor(initial, parent);
        if (!c.isValid()) return std::nullopt;
        return c;
    };
    s.pickFont = [](QWidget* parent, const QFont& initial) -> std::optional<QFont> {
        bool ok = false;
        const QFont f = QFontDialog::getFont(&ok, initial, parent);
        if (!ok) return std::nullopt;
        return f;
    };
    s.pickFolder = [](QWidget* parent, const QString& text, const QString& start) -> std::optional<QString> {
        const QString folder = QFileDialog::getExistingDirectory(parent, text, start);
        if (folder.isEmpty()) return std::nullopt;
        return QDir::toNativeSeparators(folder);
    };
    s.showError = [](QWidget* parent, const QString& text) {
        ShowMessageBox(parent, MessageKind::Error, text);
    };
    return s;
}

template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QVBoxLayout* pageLayout(QWidget* page) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

} // namespace

SettingsDialog::SettingsDialog(SettingsDialogHost& host, QWidget* parent, SettingsDialogServices services)
    : QDialog(parent), m_host(host), m_services(std::move(services)) {
    const SettingsDialogServices standard = standardServices();
    if (!m_services.pickColor) m_services.pickColor = standard.pickColor;
    if (!m_services.pickFont) m_services.pickFont = standard.pickFont;
    if (!m_services.pickFolder) m_services.pickFolder = standard.pickFolder;
    if (!m_services.showError) m_services.showError = standard.showError;
    buildWindow();
    readSettings();
}

int SettingsDialog::openModal(SettingsDialogHost& host, QWidget* parent) {
    auto* dialog = new SettingsDialog(host, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    CentreOnScreen(*dialog);
    return dialog->exec();
}

// --- Layout ------------------------------------------------------------------------------------------------

void SettingsDialog::buildWindow() {
    setObjectName(
        QString::fromLatin1(language::kSettingsDialog.data(), qsizetype(language::kSettingsDialog.size())));
    setWindowTitle(u("Свойства"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_tree = named(new QTreeWidget(this), "TreeView1");
    m_tree->setHeaderHidden(true);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    for (int n = 0; n < int(m_nodes.size()); ++n) {
        QTreeWidgetItem* parentNode = n >= 3 && n <= 5 ? m_nodes[kViewNode] : nullptr;
        auto* node = parentNode ? new QTreeWidgetItem(parentNode) : new QTreeWidgetItem(m_tree);
        node->setText(0, u(kNodes[n].text));
        node->setData(0, Qt::UserRole, n);
        m_nodes[std::size_t(n)] = node;
    }
    fitTreeWidth();

    m_frame = named(new QGroupBox(u(kNodes[0].text), this), "FlatGroupBox1");
    m_pages = named(new QStackedWidget(m_frame), "Notebook1");
    auto* frameLayout = new QVBoxLayout(m_frame);
    frameLayout->addWidget(m_pages);
    for (QWidget* page :
         {buildAccessPage(), buildBehaviourPage(), buildGridColoursPage(), buildGridOptionsPage(),
          buildHighlightPage(), buildBrowserPage(), buildLanguagePage()})
        m_pages->addWidget(page);

    m_ok = named(new QPushButton(QStringLiteral("OK"), this), "FlatButton3");
    m_ok->setToolTip(u("Применить"));
    m_ok->setDefault(true);
    auto* cancel = named(new QPushButton(QStringLiteral("Cancel"), this), "FlatButton4");
    cancel->setToolTip(u("Отмена"));
    connect(m_ok, &QPushButton::clicked, this, &SettingsDialog::confirm);
    connect(cancel, &QPushButton::clicked, this, &SettingsDialog::cancel);

    auto* top = new QHBoxLayout;
    top->addWidget(m_tree);
    top->addWidget(m_frame, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);

    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* node) { showNodePage(node); });
}

QWidget* SettingsDialog::buildAccessPage() {
    auto* page = new QWidget;
    auto* layout = pageLayout(page);
    layout->addWidget(named(new QLabel(u("Каталог расположения журналов :"), page), "Label1"));
    auto* folderRow = new QHBoxLayout;
    m_folder = named(new QLineEdit(page), "FlatEdit9");
    auto* browse = named(new QToolButton(page), "FlatSpeedButton1");
    browse->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    connect(browse, &QToolButton::clicked, this, &SettingsDialog::chooseArchiveFolder);
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(browse);
    layout->addLayout(folderRow);

    auto* editions = named(new QGroupBox(u("Индексируемые журналы"), page), "FlatGroupBox4");
    auto* grid = new QVBoxLayout(editions);
    const char* checks[] = {"FlatCheckBox1", "FlatCheckBox2", "FlatCheckBox3"};
    const char* captions[] = {"Kelvra Gold", "Kelvra Release", "Kelvra"};
    const char* edits[] = {"FlatEdit1", "FlatEdit2", "FlatEdit3"};
    for (std::size_t i = 0; i < 3; ++i) {
        m_editions[i] = named(new QCheckBox(u(captions[i]), editions), checks[i]);
        m_prefixes[i] = named(new QLineEdit(editions), edits[i]);
        grid->addWidget(m_editions[i]);
        grid->addWidget(m_prefixes[i]);
    }
    auto* standard = named(new QPushButton(u("Стандартные"), editions), "FlatButton2");
    connect(standard, &QPushButton::clicked, this, &SettingsDialog::standardPrefixes);
    grid->addWidget(standard, 0, Qt::AlignRight);
    layout->addWidget(editions);
    layout->addStretch(1);
    return page;
}

QWidget* SettingsDialog::buildBehaviourPage() {
    auto* page = new QWidget;
    auto* layout = pageLayout(page);
    auto* clicks = named(new QGroupBox(u("Щелчки мышью в таблице"), page), "FlatGroupBox3");
    auto* clicksLayout = new QVBoxLayout(clicks);
    m_singleClick = named(new QRadioButton(u("Открывать одним щелчком"), clicks), "FlatRadioButton1");
    m_doubleClick = named(new QRadioButton(u("Открывать двойным щелчком"), clicks), "FlatRadioButton2");
    m_doubleClick->setChecked(true);
    clicksLayout->addWidget(m_singleClick);
    clicksLayout->addWidget(m_doubleClick);
    layout->addWidget(clicks);

    auto* history = named(new QGroupBox(u("История поиска"), page), "FlatGroupBox2");
    auto* historyLayout = new QHBoxLayout(history);
    auto* clear = named(new QPushButton(u("Очистить"), history), "FlatButton1");
    connect(clear, &QPushButton::clicked, this, &SettingsDialog::clearHistory);
    historyLayout->addWidget(clear);
    historyLayout->addStretch(1);
    layout->addWidget(history);

    m_stateSave = named(new QCheckBox(u("Запоминать текущее положение"), page), "FlatCheckBox7");
    m_frameOpen = named(new QCheckBox(u("Открывать публикации во фрейме"), page), "FlatCheckBox10");
    layout->addWidget(m_stateSave);
    layout->addWidget(m_frameOpen);
    layout->addStretch(1);
    return page;
}

SettingsDialog::ColorRow SettingsDialog::makeColorRow(QWidget* parent, const char* swatch, const char* hex,
                                                      const char* take) {
    ColorRow row;
    row.swatch = named(new ColorSwatch(parent), swatch);
    row.hex = named(new QLineEdit(parent), hex);
    row.hex->setFixedWidth(row.hex->fontMetrics().horizontalAdvance(QStringLiteral("DDDDDDD")) + 12);
    row.hex->installEventFilter(this);
    row.take = named(new QToolButton(parent), take);
    row.take->setText(QStringLiteral("#"));
    // The row is copied into the handlers: its widgets live as long as the dialog.
    connect(row.swatch, &ColorSwatch::clicked, this, [this, row] { pickColor(row); });
    connect(row.take, &QToolButton::clicked, this, [this, row] { takeHexColor(row); });
    return row;
}

QWidget* SettingsDialog::buildGridColoursPage() {
    auto* page = new QWidget;
    auto* layout = pageLayout(page);
    layout->addWidget(named(new QLabel(u("Шрифт :"), page), "Label11"));
    auto* fontRow = new QHBoxLayout;
    m_fontText = named(new QLineEdit(page), "FlatEdit4");
    m_fontText->setReadOnly(true);
    auto* fontButton = named(new QToolButton(page), "FlatSpeedButton2");
    fontButton->setText(QStringLiteral("A"));
    connect(fontButton, &QToolButton::clicked, this, &SettingsDialog::chooseFont);
    fontRow->addWidget(m_fontText, 1);
    fontRow->addWidget(fontButton);
    layout->addLayout(fontRow);

    auto* colours = named(new QGroupBox(u("Цвет"), page), "FlatGroupBox5");
    auto* grid = new QGridLayout(colours);
    struct Line {
        ColorRow* row;
        const char *label, *caption, *swatch, *hex, *take;
    };
    const Line rows[] = {
        {&m_link, "Label2", "Шрифт ссылки :", "FlatSpeedButton5", "FlatEdit12", "FlatSpeedButton7"},
        {&m_table, "Label12", "Фон таблицы :", "FlatSpeedButton6", "FlatEdit11", "FlatSpeedButton9"},
        {&m_find, "Label6", "Результат поиска :", "FlatSpeedButton8", "FlatEdit8", "FlatSpeedButton10"},
    };
    int r = 0;
    for (const Line& s : rows) {
        *s.row = makeColorRow(colours, s.swatch, s.hex, s.take);
        grid->addWidget(named(new QLabel(u(s.caption), colours), s.label), r, 0);
        grid->addWidget(s.row->swatch, r, 1);
        grid->addWidget(s.row->hex, r, 2);
        grid->addWidget(s.row->take, r, 3);
        ++r;
    }
    grid->setColumnStretch(0, 1);
    auto* standard = named(new QPushButton(u("Стандартные"), colours), "FlatButton6");
    standard->setToolTip(u("Стандартные цвета"));
    connect(standard, &QPushButton::clicked, this, &SettingsDialog::standardColours);
    grid->addWidget(standard, r, 0, 1, 4, Qt::AlignRight);
    layout->addWidget(colours);
    layout->addStretch(1);
    return page;
}

QWidget* SettingsDialog::buildGridOptionsPage() {
    auto* page = new QWidget;
    auto* layout = pageLayout(page);
    m_cellLines = named(new QCheckBox(u("Сетка"), page), "FlatCheckBox12");
    m_indicator = named(new QCheckBox(u("Индикатор текущей строки"), page), "FlatCheckBox13");
    layout->addWidget(m_cellLines);
    layout->addWidget(m_indicator);
    layout->addStretch(1);
    return page;
}

QWidget* SettingsDialog::buildHighlightPage() {
    auto* page = new QWidget;
    auto* layout = pageLayout(page);
    auto* box = named(new QGroupBox(u("Цвет подсветки результата поиска"), page), "FlatGroupBox6");
    auto* grid = new QGridLayout(box);
    m_highlight = makeColorRow(box, "FlatSpeedButton11", "FlatEdit7", "FlatSpeedButton14");
    grid->addWidget(m_highlight.swatch, 0, 0);
    grid->addWidget(m_highlight.hex, 0, 1);
    grid->addWidget(m_highlight.take, 0, 2);
    grid->setColumnStretch(3, 1);
    auto* standard = named(new QPushButton(u("Стандартный"), box), "FlatButton5");
    connect(standard, &QPushButton::clicked, this, &SettingsDialog::standardHighlight);
    grid->addWidget(standard, 1, 0, 1, 4, Qt::AlignRight);
    layout->addWidget(box);
    layout->addStretch(1);
    return page;
}

QWidget* SettingsDialog::buildBrowserPage() {
    auto* page = new QWidget;
    auto* layout = pageLayout(page);
    const char* names[] = {"FlatRadioButton3", "FlatRadioButton4", "FlatRadioButton5", "FlatRadioButton6"};
    const char* captions[] = {"Внутренний Browser", "MSIE", "Opera", "Browser по умолчанию"};
    for (std::size_t i = 0; i < 4; ++i)
        m_browsers[i] = named(new QRadioButton(u(captions[i]), page), names[i]);
    m_browsers[0]->setChecked(true);
    m_pathMSIE = named(new QLineEdit(page), "FlatEdit6");
    m_pathOpera = named(new QLineEdit(page), "FlatEdit10");
    // The program fields stand indented under their browsers.
    const int indent = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) + 6;
    auto indented = [indent](QWidget* field) {
        auto* row = new QHBoxLayout;
        row->addSpacing(indent);
        row->addWidget(field);
        return row;
    };
    layout->addWidget(m_browsers[0]);
    layout->addWidget(m_browsers[1]);
    layout->addLayout(indented(m_pathMSIE));
    layout->addWidget(m_browsers[2]);
    layout->addLayout(indented(m_pathOpera));
    layout->addWidget(m_browsers[3]);
    layout->addStretch(1);
    return page;
}

QWidget* SettingsDialog::buildLanguagePage() {
    auto* page = new QWidget;
    auto* layout = pageLayout(page);
    m_language = named(new QComboBox(page), "FlatComboBox1");
    layout->addWidget(m_language);
    layout->addStretch(1);
    return page;
}

// The tree is as wide as its longest node needs, indentation, a margin on either side and a vertical
// scroll bar's room included, so that no text touches its edge.
void SettingsDialog::fitTreeWidth() {
    const QFontMetrics metrics = m_tree->fontMetrics();
    int widest = 0;
    for (const QTreeWidgetItem* node : m_nodes) {
        const int depth = node->parent() ? 2 : 1;
        widest = std::max(widest, metrics.horizontalAdvance(node->text(0)) + depth * m_tree->indentation());
    }
    m_tree->setFixedWidth(widest + 2 * m_tree->frameWidth() + 2 * metrics.averageCharWidth() + 8);
}

// --- Creation ----------------------------------------------------------------------------------------------

void SettingsDialog::readSettings() {
    m_tree->expandItem(m_nodes[kViewNode]);
    m_tree->setCurrentItem(m_nodes[0]);

    MainSession& session = m_host.session();
    try {
        ArchiveAccess access;
        ReadAccess(session.appDir(), access);
        if (const auto effects = LoadSettings(session.appDir(), session.ini)) m_host.applySettings(*effects);

        m_languages = BuildLanguageList(session.appDir());
        for (const LanguageEntry& entry : m_languages)
            m_language->addItem(QString::fromStdString(entry.name));
        m_language->setCurrentIndex(SelectLanguage(m_languages, session.ini.local));

        const GridLook look = m_host.gridLook();
        m_font = look.font;
        showFont();
        setSwatch(m_link, look.linkColor);
        setSwatch(m_table, look.tableColor);
        setSwatch(m_find, look.findColor);
        setSwatch(m_highlight, session.ini.color_htm_fon);

        m_folder->setText(QString::fromStdString(access.folder));
        m_editions[0]->setChecked(access.gold);
        m_editions[1]->setChecked(access.release);
        m_editions[2]->setChecked(access.plain);
        for (int code = 1; code <= 3; ++code)
            m_prefixes[std::size_t(code - 1)]->setText(
                QString::fromStdString(session.ini.editionPrefix(code)));

        m_stateSave->setChecked(session.ini.state_save);
        m_frameOpen->setChecked(session.ini.frame);
        m_browsers[std::size_t(sd::BrowserButton(session.ini.select_browser) - 1)]->setChecked(true);
        m_pathMSIE->setText(QString::fromStdString(session.ini.path_MSIE));
        m_pathOpera->setText(QString::fromStdString(session.ini.path_Opera));
        m_cellLines->setChecked(look.cellLines);
        m_indicator->setChecked(look.indicator);
        if (session.ini.onclick) m_singleClick->setChecked(true);
        // Every control now holds a real value; OK may write them.
        m_created = true;

        sd::ReopenTopicTable(session.topics(), session.articles());
        ApplyLanguage(
            language::kTargetSettingsDialog, session.appDir(), session.ini.local,
            [this](const TextAssignment& a) { setText(a); }, session.messages);
    } catch (const std::exception& e) {
        // The remaining steps are skipped and the dialog still opens.
        showError(QString::fromStdString(m_host.session().messages.render(MessageOf(e))));
    }
    // Paths show their beginning (the drive or the root), not their last characters.
    for (QLineEdit* path : {m_folder, m_pathMSIE, m_pathOpera})
        path->setCursorPosition(0);
    fitTreeWidth(); // the language may have given the nodes longer texts
    // A dialog whose fields were not all filled would write blanks over the user's settings.
    m_ok->setEnabled(m_created);
    setFixedSize(kClientArea.expandedTo(sizeHint()));
}

void SettingsDialog::setText(const TextAssignment& a) {
    const QString text = QString::fromStdString(a.text);
    const QString name = QString::fromLatin1(a.component.data(), qsizetype(a.component.size()));
    if (a.property == TextProperty::TreeNode) {
        if (a.index >= 0 && a.index < int(m_nodes.size())) m_nodes[std::size_t(a.index)]->setText(0, text);
        return;
    }
    QWidget* target = name == objectName() ? this : findChild<QWidget*>(name);
    if (!target) return;
    if (a.property == TextProperty::Hint) {
        target->setToolTip(text);
    } else if (a.property == TextProperty::Caption) {
        if (target == this)
            setWindowTitle(text);
        else if (auto* box = qobject_cast<QGroupBox*>(target))
            box->setTitle(text);
        else if (auto* button = qobject_cast<QAbstractButton*>(target))
            button->setText(text);
        else if (auto* label = qobject_cast<QLabel*>(target))
            label->setText(text);
    }
}

// --- Handlers ----------------------------------------------------------------------------------------------

void SettingsDialog::showNodePage(QTreeWidgetItem* node) {
    if (!node) return;
    const int page = kNodes[node->data(0, Qt::UserRole).toInt()].page;
    if (page < 0) return;
    m_pages->setCurrentIndex(page);
    m_frame->setTitle(node->text(0));
}

void SettingsDialog::chooseArchiveFolder() {
    if (auto folder = m_services.pickFolder(
            this, QString::fromStdString(m_host.session().messages[language::kChooseArchiveText]),
            m_folder->text()))
        m_folder->setText(*folder);
}

void SettingsDialog::standardPrefixes() {
    namespace k = settings::keys;
    m_prefixes[0]->setText(QString::fromUtf8(k::nameKelvraGold.def));
    m_prefixes[1]->setText(QString::fromUtf8(k::nameKelvraRelease.def));
    m_prefixes[2]->setText(QString::fromUtf8(k::nameKelvra.def));
}

void SettingsDialog::clearHistory() {
    m_host.clearSearchHistory();
}

void SettingsDialog::chooseFont() {
    if (auto chosen = m_services.pickFont(this, qtconvert::toQFont(m_font))) {
        try {
            m_font = qtconvert::fromQFont(*chosen, m_font);
        } catch (const std::exception& e) {
            showError(QString::fromStdString(m_host.session().messages.render(MessageOf(e))));
        }
    }
    showFont();
}

void SettingsDialog::showFont() {
    m_fontText->setText(QString::fromStdString(m_font.name) + QLatin1Char(' ') +
                        QString::number(m_font.size()));
}

void SettingsDialog::setSwatch(const ColorRow& row, Color color) {
    row.swatch->setColor(color);
    row.hex->setText(QString::fromStdString(ColorToHex(color)));
}

void SettingsDialog::pickColor(const ColorRow& row) {
    const QColor initial = qtconvert::toQColor(row.swatch->color());
    const std::optional<QColor> chosen = m_services.pickColor(this, initial);
    if (chosen) row.swatch->setColor(qtconvert::fromQColor(*chosen));
    row.swatch->setHoverColor(chosen ? *chosen : initial);
    row.hex->setText(QString::fromStdString(ColorToHex(row.swatch->color())));
}

void SettingsDialog::takeHexColor(const ColorRow& row) {
    try {
        row.swatch->setColor(HexToColor(row.hex->text().toStdString()));
    } catch (const ConversionError&) {
        showError(QString::fromStdString(m_host.session().messages[language::kBadHexColourText]));
    }
}

bool SettingsDialog::filterHexKey(QLineEdit* field, QKeyEvent* key) {
    // Keys that type no character (moves, Delete, Tab, Enter, Escape) keep their usual meaning.
    switch (key->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return false;
    default:
        break;
    }
    const QList<uint> typed = key->text().toUcs4();
    if (typed.isEmpty()) return false;
    const char32_t ch = typed.front();
    const char32_t accepted = sd::FilterHexKey(std::size_t(field->text().size()), ch);
    if (accepted == ch) return false;
    if (accepted != 0) field->insert(QString::fromUcs4(&accepted, 1));
    return true;
}

bool SettingsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        for (const ColorRow* row : {&m_link, &m_table, &m_find, &m_highlight})
            if (watched == row->hex) return filterHexKey(row->hex, static_cast<QKeyEvent*>(event));
    }
    return QDialog::eventFilter(watched, event);
}

void SettingsDialog::standardColours() {
    setSwatch(m_link, sd::kStandardLinkColor);
    setSwatch(m_table, sd::kStandardTableColor);
    setSwatch(m_find, sd::kStandardFindColor);
}

void SettingsDialog::standardHighlight() {
    setSwatch(m_highlight, sd::kStandardHighlightColor);
}

SettingsDialogValues SettingsDialog::values() const {
    SettingsDialogValues v;
    v.dbdir = m_folder->text().toStdString();
    v.kelvraGold = m_editions[0]->isChecked();
    v.kelvraRelease = m_editions[1]->isChecked();
    v.kelvra = m_editions[2]->isChecked();
    for (std::size_t i = 0; i < 3; ++i)
        v.editionPrefixes[i] = m_prefixes[i]->text().toStdString();
    v.colorFind = m_find.swatch->color();
    v.colorLink = m_link.swatch->color();
    v.colorTable = m_table.swatch->color();
    v.colorHtmFon = m_highlight.swatch->color();
    v.frame = m_frameOpen->isChecked();
    v.stateSave = m_stateSave->isChecked();
    v.font = m_font;
    v.cellLines = m_cellLines->isChecked();
    v.indicator = m_indicator->isChecked();
    v.msieSelected = m_browsers[1]->isChecked();
    v.operaSelected = m_browsers[2]->isChecked();
    v.defaultBrowserSelected = m_browsers[3]->isChecked();
    v.pathMSIE = m_pathMSIE->text().toStdString();
    v.pathOpera = m_pathOpera->text().toStdString();
    const int language = m_language->currentIndex();
    if (language >= 0 && language < int(m_languages.size()))
        v.local = m_languages[std::size_t(language)].file;
    v.onclick = m_singleClick->isChecked();
    return v;
}

void SettingsDialog::confirm() {
    if (!m_created) return;
    MainSession& session = m_host.session();
    try {
        const std::string previousLanguage = session.ini.local;
        if (const auto effects = SaveSettings(session.appDir(), values(), session.ini, session.archiveFolder))
            m_host.applySettings(*effects);
        m_host.reapplyTopicFilter();
        if (session.ini.local != previousLanguage) m_host.applyMainWindowLanguage();
        m_host.applyGridLook(m_font, m_link.swatch->color(), m_find.swatch->color(), m_table.swatch->color());
        if (session.articles().rowCount() > 0) m_host.keepCurrentRow();
        sd::WriteTopicCopy(session.appDir(), session.topics());
    } catch (const std::exception& e) {
        // The dialog stays open; keys written before the failure stay written.
        showError(QString::fromStdString(m_host.session().messages.render(MessageOf(e))));
        return;
    }
    accept();
}

void SettingsDialog::cancel() {
    reject();
}

void SettingsDialog::showError(const QString& text) {
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_services.showError(this, shown);
}

} // namespace marovex
