#pragma once

#include "ui/articlemodel.h"

#include <QString>

// What the files of the main window share: its fixed measures.
namespace marovex::mainwindowparts {

// Grid columns: built-in width and smallest width.
struct ColumnLayout {
    int width, minimum;
};
inline constexpr ColumnLayout kColumns[ArticleModel::ColumnCount] = {
    {39, 5}, {116, 15}, {31, 15}, {97, 15}, {460, 15}};

inline constexpr int kStatusPanelWidths[2] = {140, 150};
inline constexpr int kTopicPanelWidth = 229;
inline constexpr int kTopicPanelHeight = 157;
inline constexpr int kTopicPanelCollapsedHeight = 25;
inline constexpr int kMinimumPaneHeight = 25;

} // namespace marovex::mainwindowparts
