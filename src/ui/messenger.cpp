#include "ui/messenger.h"

namespace marovex {

Messenger::Messenger(QWidget* window, const MessageTexts& texts, MessagePresenter presenter)
    : m_window(window), m_texts(texts),
      m_presenter(presenter ? std::move(presenter) : MessagePresenter(showMessageBox)) {}

QString Messenger::text(int key, std::initializer_list<std::string> args) const {
    return QString::fromStdString(args.size() == 0 ? m_texts[key] : m_texts.format(key, args));
}

QString Messenger::render(const Message& message) const {
    return QString::fromStdString(m_texts.render(message));
}

bool Messenger::present(MessageKind kind, const QString& text, QWidget* parent) const {
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return m_presenter(parent ? parent : m_window, kind, shown);
}

} // namespace marovex
