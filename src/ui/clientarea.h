#pragma once

#include <QSplitter>

namespace marovex {

class ArchivePane;
class ArticleGrid;
class TopicPanel;

// The window's client area: the article grid with the topic panel floating over it above, and below them,
// while it is switched on, the pane with the article. The grid area keeps the height the user gave it
// whenever the window has room for it.
class ClientArea final : public QSplitter {
    Q_OBJECT
public:
    explicit ClientArea(QWidget* parent);

    ArticleGrid* articleGrid() const { return m_grid; }
    TopicPanel* topicPanel() const { return m_topics; }
    ArchivePane* pane() const { return m_pane; }

    // The grid area's height while the pane is shown, as dragged or stored.
    int gridAreaHeight() const { return m_gridAreaHeight; }
    // At start-up: the stored height, and whether the pane shows.
    void preparePane(int gridAreaHeight, bool shown);
    // Shows or hides the pane, which keeps its view and page while hidden; whether it has just been shown.
    bool showPane(bool on);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layOutPane();

    QWidget* m_gridArea = nullptr;
    ArticleGrid* m_grid = nullptr;
    TopicPanel* m_topics = nullptr;
    ArchivePane* m_pane = nullptr;
    int m_gridAreaHeight = 0;
};

} // namespace marovex
