#pragma once

#include "storage/settings.h"

namespace Appearance {

/// Applies a mode to the whole application: light and dark force a palette, system restores
/// what the desktop gave the application at start.
void apply(AppAppearanceMode mode);

} // namespace Appearance
