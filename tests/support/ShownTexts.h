// The texts a window shows its user, for the tests of the translations:
// every text should be in the window's language, and fit its widget.
#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTabWidget>
#include <QWidget>

#include <string>
#include <vector>

namespace tarnvik::test {

struct ShownText {
    const QWidget* widget;
    QString text;
};

// Title, tooltips, label and button texts, group titles, tab titles and the
// entries of fixed lists (an editable list holds what the user typed).
inline std::vector<ShownText> ShownTexts(const QWidget& root)
{
    std::vector<ShownText> texts;
    auto add = [&texts](const QWidget* w, const QString& text) {
        if (!text.isEmpty())
            texts.push_back({w, text});
    };
    add(&root, root.windowTitle());
    QList<const QWidget*> widgets{&root};
    for (const QWidget* w : root.findChildren<const QWidget*>())
        widgets << w;
    for (const QWidget* w : widgets) {
        add(w, w->toolTip());
        if (auto* label = qobject_cast<const QLabel*>(w))
            add(w, label->text());
        else if (auto* button = qobject_cast<const QAbstractButton*>(w))
            add(w, button->text());
        else if (auto* group = qobject_cast<const QGroupBox*>(w))
            add(w, group->title());
        else if (auto* tabs = qobject_cast<const QTabWidget*>(w))
            for (int i = 0; i < tabs->count(); ++i)
                add(w, tabs->tabText(i));
        else if (auto* list = qobject_cast<const QComboBox*>(w); list && !list->isEditable())
            for (int i = 0; i < list->count(); ++i)
                add(w, list->itemText(i));
    }
    return texts;
}

// Names and units that read the same in every language.
inline bool LanguageNeutralWord(const QString& word)
{
    static const QStringList words = {"AVI", "CH",   "DVR",     "fps",   "bps",     "H",      "IP",      "JPEG",
                                      "MJPG", "Motion", "NTSC", "PAL", "Kestrova", "Quorlin", "TarnvikPlayer"};
    return words.contains(word);
}

// True for a text with no Chinese character and a word of two letters or
// more that is not a name (single letters are arrows and marks: "v", "|<").
inline bool ReadsAsEnglish(const QString& text)
{
    static const QRegularExpression han(QStringLiteral("\\p{Han}"));
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    if (han.match(text).hasMatch())
        return false;
    for (auto it = word.globalMatch(text); it.hasNext();)
        if (!LanguageNeutralWord(it.next().captured()))
            return true;
    return false;
}

// "objectName: text" of each, readable in a test's failure report.
inline std::string Described(const ShownText& shown)
{
    return (shown.widget->objectName() + QStringLiteral(": ") + shown.text).toStdString();
}

inline std::vector<std::string> EnglishTexts(const QWidget& root)
{
    std::vector<std::string> english;
    for (const ShownText& shown : ShownTexts(root))
        if (ReadsAsEnglish(shown.text))
            english.push_back(Described(shown));
    return english;
}

// Sizes of Chinese texts mean something only with a font that has them.
inline bool HaveChineseFont()
{
    return !QFontDatabase::families(QFontDatabase::TraditionalChinese).isEmpty();
}

} // namespace tarnvik::test
