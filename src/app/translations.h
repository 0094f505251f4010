#pragma once

class QObject;

/// Qt's own texts (the editor's context menu, the folder chooser, standard dialog buttons) in
/// Japanese, whatever the locale: the whole interface is Japanese.
namespace Translations {

/// Installs Qt's Japanese translation (qtbase_ja.qm from Qt's translations folder) into the
/// application, owned by `owner`. False when it is not installed; the English texts stay then.
bool installQtJapanese(QObject *owner);

} // namespace Translations
