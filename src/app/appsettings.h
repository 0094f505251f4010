#pragma once

#include <QList>

/// The font sizes the view menu offers; the settings themselves are in Settings.
namespace AppSettings {

inline const QList<int> offeredListFontSizes = {11, 12, 13, 14, 15, 16, 18};
inline const QList<int> offeredEditorFontSizes = {10, 12, 14, 16, 18, 20, 24, 28};

} // namespace AppSettings
