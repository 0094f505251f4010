#pragma once

#include <QList>
#include <QString>

/// The user-interface settings the application offers, with their defaults.
namespace AppSettings {

inline const QString editorFontSizeKey = QStringLiteral("fontSize");
inline const QString listFontSizeKey = QStringLiteral("uiListFontSize");
inline const QString thickEditorCursorKey = QStringLiteral("thickEditorCursor");

constexpr int defaultEditorFontSize = 14;
constexpr int defaultListFontSize = 13;
constexpr bool defaultThickEditorCursor = true;

inline const QList<int> offeredListFontSizes = {11, 12, 13, 14, 15, 16, 18};
inline const QList<int> offeredEditorFontSizes = {10, 12, 14, 16, 18, 20, 24, 28};

int editorFontSize();
int listFontSize();
bool thickEditorCursor();

} // namespace AppSettings
