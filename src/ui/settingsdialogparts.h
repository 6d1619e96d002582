#pragma once

#include <QSize>
#include <QString>

// What the files of the settings dialog share: its tree's nodes and its measures.
namespace marovex::settingsdialogparts {

// Tree node by node number: its built-in text and the page it shows (-1: none). The viewers' node has no
// interface text; it speaks the interface language through a text of the window's own.
struct Node {
    const char* text;
    int page;
};
inline constexpr Node kNodes[] = {
    {"Доступ к журналам", 0}, {"Свойства", 1},     {"Вид", -1}, {"Шрифт и Цвет в таблице", 2},
    {"Свойства таблицы", 3},  {"Поиск в HTML", 4}, {"", 5},     {"Язык", 6},
};
inline constexpr int kViewNode = 2;    // parent of nodes 3 to 5
inline constexpr int kBrowserNode = 6; // the viewers

// The smallest client area the dialog keeps.
inline constexpr QSize kClientArea(421, 336);

inline QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

} // namespace marovex::settingsdialogparts
