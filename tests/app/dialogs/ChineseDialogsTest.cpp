// The logon and settings dialogs under the locales of a user, with the
// translations installed as the program installs them at start.
#include "app/dialogs/LogonDialog.h"
#include "app/dialogs/SettingDialog.h"
#include "app/strings/Translation.h"

#include "DialogTestSupport.h"
#include "support/RecordingNotifier.h"
#include "support/ShownTexts.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace tarnvik {
namespace {

using test::Child;
using test::EnglishTexts;
using test::TempDir;
using test::ThreeProfiles;
using test::WriteFile;

class ChineseDialogs : public ::testing::Test {
protected:
    ChineseDialogs()
    {
        WriteFile(ini.Path(), ThreeProfiles(1));
        app = LoadStartupSettings(ini);
    }

    TempDir dir;
    IniFile ini{dir / "TarnvikPlayer.ini"};
    AppSettings app;
    test::RecordingNotifier notifier;
};

TEST_F(ChineseDialogs, EveryChineseLocaleGetsTraditionalChineseAndOthersEnglish)
{
    // Simplified Chinese locales read the Traditional texts too, as the
    // string tables give them to every Chinese language.
    const std::pair<const char*, bool> cases[] = {{"zh_TW", true},  {"zh_HK", true},  {"zh_MO", true},
                                                  {"zh_CN", true},  {"en_US", false}, {"de_DE", false}};
    for (const auto& [locale, chinese] : cases) {
        SCOPED_TRACE(locale);
        const ProgramTranslations translations{QLocale(QString::fromLatin1(locale))};
        CLogonDlg logon(ini, app);
        EXPECT_EQ(logon.windowTitle(), chinese ? "登入..." : "Logon...");
        EXPECT_EQ(EnglishTexts(logon).empty(), chinese);
    }
    // Nothing stays installed once the translations are gone.
    EXPECT_EQ(CLogonDlg(ini, app).windowTitle(), "Logon...");
}

TEST_F(ChineseDialogs, ZhTwShowsNoEnglishAndTheDialogsFitTheWindow)
{
    const ProgramTranslations translations{QLocale(QStringLiteral("zh_TW"))};
    ASSERT_TRUE(translations.Installed());
    CLogonDlg logon(ini, app);
    CSettingDlg setting(ini, app, notifier, false);
    struct Case {
        QDialog* dialog;
        const char* child;     // a button whose Chinese text is checked
        const char* chinese;
    };
    const Case cases[] = {{&logon, "ok", "確定"}, {&setting, "delete", "刪除"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dialog->metaObject()->className());
        c.dialog->show();
        EXPECT_EQ(Child<QPushButton>(*c.dialog, c.child)->text(), QString::fromUtf8(c.chinese));
        EXPECT_EQ(EnglishTexts(*c.dialog), std::vector<std::string>());
        if (test::HaveChineseFont()) {
            EXPECT_LE(c.dialog->sizeHint().width(), 1017);
            EXPECT_LE(c.dialog->sizeHint().height(), 755);
        }
    }
    // The lists the profile rules name in English show Chinese entries.
    EXPECT_EQ(Child<QComboBox>(setting, "speed")->itemText(0), "不限");
}

// Texts that reached the translation file but not its translator, and
// translations that lose a placeholder (an address, a path, a count).
TEST(ChineseTranslationFile, EveryTextHasAFinishedTranslationWithItsPlaceholders)
{
    QFile file(QStringLiteral(TARNVIK_TRANSLATIONS_DIR "/tarnvik_zh_TW.ts"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    const QRegularExpression placeholder(QStringLiteral("%\\d"));
    auto placeholders = [&placeholder](const QString& text) {
        QStringList found;
        for (auto it = placeholder.globalMatch(text); it.hasNext();)
            found << it.next().captured();
        found.sort();
        return found.join(QLatin1Char(' ')).toStdString();
    };
    int messages = 0;
    QString source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"source") {
            source = xml.readElementText();
        } else if (xml.name() == u"translation") {
            const bool unfinished = !xml.attributes().value(QStringLiteral("type")).isEmpty();
            const QString translation = xml.readElementText();
            ++messages;
            EXPECT_FALSE(unfinished || translation.isEmpty()) << source.toStdString();
            EXPECT_EQ(placeholders(translation), placeholders(source)) << source.toStdString();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GT(messages, 100);
}

} // namespace
} // namespace tarnvik
