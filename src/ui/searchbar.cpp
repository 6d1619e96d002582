#include "ui/searchbar.h"

#include "ui/icons.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QCompleter>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace marovex {

namespace {

QToolButton* addButton(QToolBar* bar, const char* name, icons::Icon icon) {
    auto* b = new QToolButton(bar);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoRaise(true);
    b->setIcon(icons::toolIcon(icon));
    bar->addWidget(b);
    return b;
}

} // namespace

SearchBar::SearchBar(QAction* find, QWidget* parent) : QToolBar(parent) {
    setObjectName(QStringLiteral("ToolBar1"));
    auto* label = new QLabel(QStringLiteral("Поиск "), this);
    label->setObjectName(QStringLiteral("Label1"));
    label->setContentsMargins(4, 0, 2, 0);
    addWidget(label);
    m_box = new QComboBox(this);
    m_box->setObjectName(QStringLiteral("FlatComboBox1"));
    m_box->setEditable(true);
    m_box->setInsertPolicy(QComboBox::NoInsert);
    m_box->setFixedWidth(238);
    m_box->setToolTip(QStringLiteral("Строка поиска"));
    label->setBuddy(m_box);
    addWidget(m_box);
    // History entries holding the typed text are offered in a list below the box, and the text stays as
    // typed until one is chosen. (The box's own completion filled in the rest of an entry, selected, and
    // Enter then searched that.)
    auto* suggestions = new QCompleter(m_box->model(), m_box);
    suggestions->setCaseSensitivity(Qt::CaseInsensitive);
    suggestions->setFilterMode(Qt::MatchContains);
    suggestions->setCompletionMode(QCompleter::PopupCompletion);
    m_box->setCompleter(suggestions);
    m_suggestions = suggestions->popup();
    m_suggestions->installEventFilter(this); // after the completer's own filter, so it runs first
    // A key typed into the box reaches its line edit through the box itself (not through event filters), and
    // the line edit reports Return and keypad Enter once as returnPressed.
    connect(m_box->lineEdit(), &QLineEdit::returnPressed, this, &SearchBar::searchRequested);
    m_matchCase = addButton(this, "ToolButton5", icons::Icon::LettersAa);
    m_matchCase->setCheckable(true);
    m_wholeWords = addButton(this, "ToolButton3", icons::Icon::LettersAbcUnderlined);
    m_wholeWords->setCheckable(true);
    m_scopeBox = new QComboBox(this);
    m_scopeBox->setObjectName(QStringLiteral("FlatComboBox3"));
    m_scopeBox->addItems({QStringLiteral("В названиях"), QStringLiteral("В названиях & В тексе")});
    m_scopeBox->setMinimumWidth(145);
    m_scopeBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_scopeBox->setToolTip(QStringLiteral("Область поиска"));
    addWidget(m_scopeBox);
    addButton(this, "ToolButton11", icons::Icon::Binoculars)->setDefaultAction(find);
    m_clear = addButton(this, "ToolButton10", icons::Icon::RedCross);
    m_clear->setEnabled(false);
    connect(m_clear, &QToolButton::clicked, this, &SearchBar::clearRequested);
}

QString SearchBar::text() const {
    return m_box->currentText();
}
void SearchBar::setText(const QString& text) {
    m_box->setEditText(text);
}
bool SearchBar::matchCase() const {
    return m_matchCase->isChecked();
}
bool SearchBar::wholeWords() const {
    return m_wholeWords->isChecked();
}
int SearchBar::scope() const {
    return m_scopeBox->currentIndex();
}

void SearchBar::setOptions(bool matchCase, bool wholeWords, int scope) {
    m_matchCase->setChecked(matchCase);
    m_wholeWords->setChecked(wholeWords);
    m_scopeBox->setCurrentIndex(scope); // one it does not have selects none
}

void SearchBar::setClearEnabled(bool enabled) {
    m_clear->setEnabled(enabled);
}

void SearchBar::setHistory(const std::vector<std::string>& entries) {
    m_box->clear();
    for (const std::string& e : entries)
        m_box->addItem(QString::fromStdString(e));
}

std::vector<std::string> SearchBar::history() const {
    std::vector<std::string> out;
    for (int i = 0; i < m_box->count(); ++i)
        out.push_back(m_box->itemText(i).toStdString());
    return out;
}

void SearchBar::selectHistoryEntry(int index) {
    if (index >= 0 && index < m_box->count()) m_box->setCurrentIndex(index);
}

void SearchBar::clearHistory() {
    const QString text = m_box->currentText();
    m_box->clear();
    m_box->setEditText(text);
}

void SearchBar::focusSearchBox() {
    m_box->setFocus(Qt::ShortcutFocusReason);
    m_box->lineEdit()->selectAll();
}

// Enter with the suggestions shown searches too: the entry chosen in the list, or the text as typed when
// none is. The completer alone would only close the list.
bool SearchBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_suggestions || event->type() != QEvent::KeyPress) return QToolBar::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    const QModelIndex chosen = m_suggestions->currentIndex();
    m_suggestions->hide();
    if (chosen.isValid()) m_box->setEditText(chosen.data().toString());
    emit searchRequested();
    return true;
}

} // namespace marovex
