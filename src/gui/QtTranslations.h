#pragma once

namespace fiscora {

// Qt's own texts (standard buttons, file dialog, context menus of fields) in Portuguese: loads
// Qt's pt_BR translations and makes pt_BR the default locale. False when the translations are
// not installed; the program then runs with Qt's English texts.
bool usePortugueseQtTexts();

} // namespace fiscora
