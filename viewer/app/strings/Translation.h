// The program's translations: the tr() texts of the window and dialogs, and
// the messages of the parts below them, in the language of the locale.
#pragma once

#include <QLocale>
#include <QString>

#include <memory>
#include <string>

class QTranslator;

namespace tarnvik {

// Installs the translations for `locale` into the application for as long as
// it lives (tests switch languages with it). Every Chinese locale gets
// Traditional Chinese: the string tables give their Chinese texts to every
// Chinese language id, and texts with and without a string id must agree.
// Other locales keep the English texts. Qt's own texts (standard buttons,
// the file dialog) follow from Qt's translations when the system has them.
class ProgramTranslations {
public:
    explicit ProgramTranslations(const QLocale& locale);
    ~ProgramTranslations();
    ProgramTranslations(const ProgramTranslations&) = delete;
    ProgramTranslations& operator=(const ProgramTranslations&) = delete;

    // True when the program's own Chinese texts were installed.
    bool Installed() const { return own_ != nullptr; }

private:
    std::unique_ptr<QTranslator> own_;
    std::unique_ptr<QTranslator> qt_;
};

// The language id the string tables' language rule expects for a locale.
int LanguageIdOfLocale(const QLocale& locale);
// True for the locales that get the Chinese texts.
bool IsChineseLocale(const QLocale& locale);

// A message as the user sees it. The parts below the window (session,
// reception, recorder, players) speak English; their known texts, and known
// texts with a variable part (a code, a path), are translated line by line.
// Any other text, including one already translated, is shown as it is.
QString LocalizedMessage(const std::string& text);

} // namespace tarnvik
