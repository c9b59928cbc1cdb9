// Qt's own texts (the standard dialogs' titles and buttons) in Japanese.
#pragma once

// Installs Qt's Japanese translations whatever the locale, since every text
// of the program is Japanese. Call once after the application object exists;
// a second call changes nothing. False when the translation file is missing
// (Qt's texts then stay in English).
bool installQtTranslations();
