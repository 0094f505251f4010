#include "app/appsettings.h"

#include "platform/userdefaults.h"

namespace AppSettings {

int editorFontSize()
{
    return int(UserDefaults::standard().integerOr(editorFontSizeKey, defaultEditorFontSize));
}

int listFontSize()
{
    return int(UserDefaults::standard().integerOr(listFontSizeKey, defaultListFontSize));
}

bool thickEditorCursor()
{
    return UserDefaults::standard().boolOr(thickEditorCursorKey, defaultThickEditorCursor);
}

} // namespace AppSettings
