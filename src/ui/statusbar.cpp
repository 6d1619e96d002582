#include "ui/statusbar.h"

#include <QLabel>

#include <algorithm>

namespace marovex {

namespace {
constexpr int kPanelWidths[2] = {140, 150};
}

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("StatusBar1"));
    setSizeGripEnabled(false);
    setMinimumHeight(19);
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i + 1));
        panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        panel->setContentsMargins(3, 0, 3, 0);
        panel->setTextFormat(Qt::PlainText);
        if (i < 2)
            panel->setFixedWidth(kPanelWidths[i]);
        else
            panel->setMinimumWidth(1); // long texts are cut rather than widening the window
        addPermanentWidget(panel, i < 2 ? 0 : 1);
        m_panels[i] = panel;
    }
}

void StatusBar::setText(int panel, const QString& text) {
    if (panel < 1 || panel > 3) return;
    QLabel* label = m_panels[panel - 1];
    label->setText(text);
    // A longer text (a long count, a language with longer words) widens its panel, which never shrinks below
    // its own width.
    if (panel < 3) {
        const int needed = label->fontMetrics().horizontalAdvance(text) + label->contentsMargins().left() +
                           label->contentsMargins().right() + 2 * label->frameWidth() + 4;
        label->setFixedWidth(std::max(kPanelWidths[panel - 1], needed));
    }
}

QString StatusBar::text(int panel) const {
    return panel >= 1 && panel <= 3 ? m_panels[panel - 1]->text() : QString();
}

} // namespace marovex
