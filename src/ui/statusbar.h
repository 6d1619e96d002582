#pragma once

#include <QStatusBar>

class QLabel;

namespace marovex {

// The main window's status bar: three panels of text, numbered 1 to 3 as the rest of the program names them.
// The first two keep their widths (growing for a longer text), the last takes the rest.
class StatusBar final : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr);

    void setText(int panel, const QString& text);
    QString text(int panel) const;

private:
    QLabel* m_panels[3] = {nullptr, nullptr, nullptr};
};

} // namespace marovex
