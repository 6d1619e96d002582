#pragma once

#include <QToolBar>

#include <string>
#include <vector>

class QAbstractItemView;
class QAction;
class QComboBox;
class QToolButton;

namespace marovex {

// The search tool bar: the search box with its history and the suggestions drawn from it, the switches for
// letter case and whole words, the scope, and the buttons that search and clear the results. It asks for a
// search (Enter in the box or in its suggestions) and for the results' end; the window decides.
class SearchBar final : public QToolBar {
    Q_OBJECT
public:
    // `find` is the search command its button shows.
    SearchBar(QAction* find, QWidget* parent);

    QString text() const;
    void setText(const QString& text);
    bool matchCase() const;
    bool wholeWords() const;
    // The index of the scope's item: 0 titles, 1 titles and texts.
    int scope() const;
    void setOptions(bool matchCase, bool wholeWords, int scope);
    // The clear button, enabled while there are search results to clear.
    void setClearEnabled(bool enabled);

    // The history is the box's list, the newest entry first.
    void setHistory(const std::vector<std::string>& entries);
    std::vector<std::string> history() const;
    void selectHistoryEntry(int index);
    // Only the list goes; the text in the box stays for the next search.
    void clearHistory();

    // Gives the box the focus with its text selected, ready for the next search.
    void focusSearchBox();
    QComboBox* box() const { return m_box; }

signals:
    void searchRequested();
    void clearRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QComboBox* m_box = nullptr;
    QAbstractItemView* m_suggestions = nullptr; // the history entries offered while typing
    QComboBox* m_scopeBox = nullptr;
    QToolButton* m_matchCase = nullptr;
    QToolButton* m_wholeWords = nullptr;
    QToolButton* m_clear = nullptr;
};

} // namespace marovex
