#pragma once

#include <QString>

/// The appearance setting: follow the desktop, or force light or dark.
enum class AppAppearanceMode { system, light, dark };

namespace Appearance {

inline const QString settingsKey = QStringLiteral("appAppearanceMode");

QString toString(AppAppearanceMode mode);
/// Any string other than the three raw values reads as system.
AppAppearanceMode fromString(const QString &raw);
/// The stored setting.
AppAppearanceMode current();

/// Applies a mode to the whole application: light and dark force a palette, system restores
/// what the desktop gave the application at start.
void apply(AppAppearanceMode mode);

} // namespace Appearance
