#include "ui/windowtexts.h"

#include "ui/articlegrid.h"
#include "ui/qttranslations.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QToolButton>

namespace marovex {

void assignText(QWidget& window, const TextAssignment& a) {
    const QString text = QString::fromStdString(a.text);
    if (a.property == TextProperty::ColumnTitle) {
        if (auto* grid = window.findChild<ArticleGrid*>())
            grid->setColumnTitle(QString::fromLatin1(a.field.data(), qsizetype(a.field.size())), text);
        return;
    }
    const QString name = QString::fromLatin1(a.component.data(), qsizetype(a.component.size()));
    QObject* target = name == window.objectName() ? static_cast<QObject*>(&window) : window.findChild<QObject*>(name);
    if (!target) return;
    switch (a.property) {
    case TextProperty::Caption:
        if (auto* action = qobject_cast<QAction*>(target))
            action->setText(text);
        else if (target == &window)
            window.setWindowTitle(text);
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
        if (target == &window) useQtTranslations(a.index == language::kCyrillicCharset);
        break;
    case TextProperty::TreeNode:
    case TextProperty::ColumnTitle:
        break;
    }
}

} // namespace marovex
