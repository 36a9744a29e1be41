#include "app/strings/Translation.h"

#include "app/strings/StringTable.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QTranslator>

namespace tarnvik {

namespace {

constexpr const char* kMessageContext = "tarnvik::Messages";

// The messages of the parts below the window, for the translation files.
// Each is their English exactly; the translation is looked up by it.
[[maybe_unused]] constexpr const char* kMessages[] = {
    // Session and reception.
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Connection closed."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Connection failed."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Connection failed!"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Login failed!"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Dalvorin Version mismatched !!"),
    QT_TRANSLATE_NOOP("tarnvik::Messages",
                      "There was not use of old hour DVR server and the connection was closed.\n"
                      "When continuously it uses, connection do as a favor again."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "PB MODE STOP!!!"),
    // The DVR's error replies.
    QT_TRANSLATE_NOOP("tarnvik::Messages", "There is not a valid accounts."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "The passwordd was incorrect."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "The connection session was exceeded.."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "While backup it will not be able to connect."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "There is not a search data."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "File open error."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "While reading a data stream, the error occurred."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "It is the first position of recorded data."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "It is the last position of recorded data."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "The playback session exists already."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "While backup it will not be able to continue."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Unknown command"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Unknown argument"),
    // Decoders, recorder and playback sources.
    QT_TRANSLATE_NOOP("tarnvik::Messages", "H.264 Decoder Init Error !"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Can't make directory!"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Can't open file!"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Recording stopped: can't write file!"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Open File Error!"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "The signature of backup data is invalid. Are you continue ?"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "not a file or a disk"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "The file holds no video records."),
    // Profile editing.
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Session List is full!"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "IP Address is empty!"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Are you delete this information, Really ?"),
    // Firmware upgrade.
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Not loaded firmware file"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Can't connect to server"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Complete Firmware upgrade."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "The DVR closed the connection before confirming the upgrade."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "The firmware file is empty."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "The firmware file is larger than 4 GiB."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "The file became shorter while it was sent."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "AVI Save failed !"),
};

// Qt's standard button texts, which Qt looks up in this context: the
// dialogs' OK and Cancel and the message boxes' Yes and No.
[[maybe_unused]] constexpr const char* kStandardButtons[] = {
    QT_TRANSLATE_NOOP("QPlatformTheme", "OK"),
    QT_TRANSLATE_NOOP("QPlatformTheme", "Cancel"),
    QT_TRANSLATE_NOOP("QPlatformTheme", "&Yes"),
    QT_TRANSLATE_NOOP("QPlatformTheme", "&No"),
};

// Messages with variable parts, %1 and %2, tried in this order (the last
// one is the most general). The parts are translated when they are known
// messages themselves (the reason after a path).
constexpr const char* kPatterns[] = {
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Connection closed.(%1)"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Can't open %1: %2"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "No video data was found in %1."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Can't read %1: %2"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Firmware upgrade failed[%1]."),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Socket error %1 : Would you retry ?"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "Socket error : [%1]"),
    QT_TRANSLATE_NOOP("tarnvik::Messages", "%1: %2"),
};

QString Translate(const QString& text)
{
    return QCoreApplication::translate(kMessageContext, text.toUtf8().constData());
}

// "Can't open %1: %2" -> ^Can't open (.*): (.*)$
QRegularExpression PatternExpression(const QString& pattern)
{
    const QRegularExpression placeholder(QStringLiteral("%[12]")); // messages may come from any thread
    QString expression = QStringLiteral("^");
    qsizetype from = 0;
    for (auto it = placeholder.globalMatch(pattern); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        expression += QRegularExpression::escape(pattern.mid(from, m.capturedStart() - from));
        expression += QStringLiteral("(.*)");
        from = m.capturedEnd();
    }
    expression += QRegularExpression::escape(pattern.mid(from)) + QStringLiteral("$");
    return QRegularExpression(expression, QRegularExpression::DotMatchesEverythingOption);
}

QString LocalizedLine(const QString& line)
{
    const QString exact = Translate(line);
    if (exact != line)
        return exact;
    for (const char* pattern : kPatterns) {
        const QString source = QString::fromLatin1(pattern);
        const QRegularExpressionMatch m = PatternExpression(source).match(line);
        if (!m.hasMatch())
            continue;
        const QString translated = Translate(source);
        if (translated == source)
            return line; // no translation installed
        // Both parts at once, so a part that holds "%2" stays as it is.
        return m.lastCapturedIndex() == 1 ? translated.arg(Translate(m.captured(1)))
                                          : translated.arg(Translate(m.captured(1)), Translate(m.captured(2)));
    }
    return line;
}

} // namespace

int LanguageIdOfLocale(const QLocale& locale)
{
    const QStringList parts = locale.name().split(QLatin1Char('_'));
    return LanguageIdForLocale(parts.value(0).toStdString(), parts.value(1).toStdString());
}

bool IsChineseLocale(const QLocale& locale)
{
    return IsChineseLanguageId(LanguageIdOfLocale(locale));
}

ProgramTranslations::ProgramTranslations(const QLocale& locale)
{
    if (!QCoreApplication::instance() || !IsChineseLocale(locale))
        return;
    const QLocale traditional(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::Taiwan);
    // Qt's translations first: the last one installed is asked first, and
    // the program's own texts (standard button texts among them) win.
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(traditional, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(qt.get()))
        qt_ = std::move(qt);
    auto own = std::make_unique<QTranslator>();
    if (own->load(QStringLiteral(":/i18n/tarnvik_zh_TW.qm")) && QCoreApplication::installTranslator(own.get()))
        own_ = std::move(own);
}

ProgramTranslations::~ProgramTranslations()
{
    if (own_)
        QCoreApplication::removeTranslator(own_.get());
    if (qt_)
        QCoreApplication::removeTranslator(qt_.get());
}

QString LocalizedMessage(const std::string& text)
{
    const QString message = QString::fromStdString(text);
    const QString whole = Translate(message);
    if (whole != message)
        return whole;
    QStringList lines = message.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = LocalizedLine(line);
    return lines.join(QLatin1Char('\n'));
}

} // namespace tarnvik
