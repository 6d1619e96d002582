#pragma once

#include <QString>

#include <concepts>
#include <functional>
#include <type_traits>
#include <utility>

class QWidget;

namespace marovex {

// The window's first caption, also the title of every message box of the application.
inline const QString kApplicationTitle = QStringLiteral("Marovex v2.0");

// Information and Error boxes have an OK button, the Yes kinds a Yes button only; Plain has no icon.
// Question asks with Yes and No, No the default.
enum class MessageKind { Information, Error, InformationYes, ErrorYes, Plain, Question };

// A modal message box of that kind; whether the user answered Yes (or OK). Its buttons speak the interface
// language through Qt's translations.
bool showMessageBox(QWidget* parent, MessageKind kind, const QString& text);

// What shows a window's message boxes; tests put their own in to see the messages without blocking. A
// presenter returns whether the user answered Yes; one that returns nothing answers every question No.
class MessagePresenter {
public:
    MessagePresenter() = default;
    template <class F>
        requires(!std::same_as<std::remove_cvref_t<F>, MessagePresenter> &&
                 std::invocable<F&, QWidget*, MessageKind, const QString&>)
    MessagePresenter(F show) {
        if constexpr (std::is_void_v<std::invoke_result_t<F&, QWidget*, MessageKind, const QString&>>)
            m_show = [show = std::move(show)](QWidget* parent, MessageKind kind,
                                              const QString& text) mutable {
                show(parent, kind, text);
                return false;
            };
        else
            m_show = std::move(show);
    }
    explicit operator bool() const { return bool(m_show); }
    bool operator()(QWidget* parent, MessageKind kind, const QString& text) const {
        return m_show(parent, kind, text);
    }

private:
    std::function<bool(QWidget*, MessageKind, const QString&)> m_show;
};

} // namespace marovex
