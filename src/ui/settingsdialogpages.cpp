// The settings dialog: building its tree and pages.
#include "ui/settingsdialog.h"

#include "ui/colorswatch.h"
#include "ui/settingsdialogparts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace marovex {

using namespace settingsdialogparts;

namespace {

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

void SettingsDialog::buildWindow() {
    setObjectName(
        QString::fromLatin1(language::kSettingsDialog.data(), qsizetype(language::kSettingsDialog.size())));
    setWindowTitle(u("Свойства"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_tree = named(new QTreeWidget(this), "TreeView1");
    m_tree->setHeaderHidden(true);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    const MessageTexts& own = m_settings.messages();
    for (int n = 0; n < int(m_nodes.size()); ++n) {
        QTreeWidgetItem* parentNode = n >= 3 && n <= 5 ? m_nodes[kViewNode] : nullptr;
        auto* node = parentNode ? new QTreeWidgetItem(parentNode) : new QTreeWidgetItem(m_tree);
        node->setText(0,
                      n == kBrowserNode ? QString::fromStdString(own[msg::BrowserNode]) : u(kNodes[n].text));
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
    auto* cancel =
        named(new QPushButton(QString::fromStdString(own[msg::SettingsCancel]), this), "FlatButton4");
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

} // namespace marovex
