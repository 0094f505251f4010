#include "app/appsettings.h"

#include "platform/settingsstore.h"

namespace AppSettings {

int editorFontSize()
{
    return int(SettingsStore::instance().integerOr(editorFontSizeKey, defaultEditorFontSize));
}

int listFontSize()
{
    return int(SettingsStore::instance().integerOr(listFontSizeKey, defaultListFontSize));
}

bool thickEditorCursor()
{
    return SettingsStore::instance().boolOr(thickEditorCursorKey, defaultThickEditorCursor);
}

} // namespace AppSettings
