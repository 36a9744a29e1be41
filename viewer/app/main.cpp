// TarnvikPlayer: reads the settings, makes sure the recording folder is
// there, and runs the main window until it is closed.
#include "app/CommandLine.h"
#include "app/ConnectionProfile.h"
#include "app/IniFile.h"
#include "app/ProfileEditing.h"
#include "app/strings/StringTable.h"
#include "app/strings/Translation.h"
#include "app/window/MainDlg.h"
#include "app/window/QtNotifier.h"
#include "net/Trace.h"
#include "storage/LocalPlayer.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QPalette>
#include <QStyleFactory>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include <unistd.h>

using namespace tarnvik;

namespace {

// The recording folder is the working folder, so relative recording names
// land there. A missing folder is created (one level); a failure is not
// reported, the recorder reports its own.
void EnterRecordingFolder(const std::string& recPath)
{
    if (recPath.size() < 2)
        return;
    const std::string folder = recPath.substr(0, recPath.size() - 1);
    if (::chdir(folder.c_str()) != 0) {
        std::error_code ec;
        std::filesystem::create_directory(folder, ec);
    }
}

// The skins are dark; the standard controls (sheet, dialogs) follow them.
void UseDarkTheme(QApplication& app)
{
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette p;
    p.setColor(QPalette::Window, QColor(38, 43, 52));
    p.setColor(QPalette::WindowText, QColor(220, 225, 232));
    p.setColor(QPalette::Base, QColor(26, 30, 37));
    p.setColor(QPalette::AlternateBase, QColor(44, 50, 60));
    p.setColor(QPalette::Text, QColor(220, 225, 232));
    p.setColor(QPalette::Button, QColor(48, 55, 66));
    p.setColor(QPalette::ButtonText, QColor(220, 225, 232));
    p.setColor(QPalette::ToolTipBase, QColor(250, 250, 240));
    p.setColor(QPalette::ToolTipText, QColor(20, 20, 20));
    p.setColor(QPalette::Highlight, QColor(65, 105, 225));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 126, 136));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 126, 136));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 126, 136));
    app.setPalette(p);
}

// With TARNVIK_TRACE=1, every event the window's thread took longer than
// 50 ms over is traced with its type and receiver, to find what holds the
// window up (an event that opens a dialog counts the dialog's time too).
class TracingApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (!tracing_)
            return QApplication::notify(receiver, event);
        QElapsedTimer clock;
        clock.start();
        // Read before delivery: the event and its receiver may be gone after it.
        const int type = int(event->type());
        const char* name = receiver->metaObject()->className();
        const bool result = QApplication::notify(receiver, event);
        if (const qint64 took = clock.elapsed(); took > 50)
            Trace("slow event " + std::to_string(type) + " to " + name + " took " +
                  std::to_string(took) + " ms, until " + std::to_string(QDateTime::currentMSecsSinceEpoch()));
        return result;
    }

private:
    const bool tracing_ = TraceEnabled();
};

} // namespace

int main(int argc, char** argv)
{
    TracingApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TarnvikPlayer"));

    std::vector<std::string> args;
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i)
        args.push_back(arguments[i].toStdString());
    const CommandLine options = ParseCommandLine(args);
    if (options.help) {
        std::cout << CommandLineUsage();
        return 0;
    }
    if (!options.error.empty()) {
        std::cerr << "TarnvikPlayer: " << options.error << "\n" << CommandLineUsage();
        return 2;
    }
    UseDarkTheme(app);
    const ProgramTranslations translations(QLocale::system());

    const IniFile ini(PrivateProfilePath());
    AppSettings settings = LoadStartupSettings(ini);
    EnterRecordingFolder(settings.profile.recPath);

    QtNotifier notifier;
    MainDlgOptions windowOptions;
    windowOptions.languageId = LanguageIdOfLocale(QLocale::system());
    CMainDlg window(ini, settings, notifier, windowOptions);
    notifier.SetParent(&window);
    window.show();

    if (options.connectHost) {
        ConnectSettings connect;
        connect.host = *options.connectHost;
        connect.port = options.connectPort.value_or(settings.profile.port);
        connect.password = options.password;
        connect.speedSetting = settings.profile.speed;
        connect.codecSetting = settings.profile.codec;
        connect.channelCount = options.channelCount.value_or(ChannelCountOfMaxCh(settings.profile.maxCh));
        QTimer::singleShot(0, &window, [&window, connect] { window.ConnectTo(connect); });
    }

    if (options.playFile) {
        // The file opens on its first pictures and plays.
        QTimer::singleShot(0, &window, [&window, path = *options.playFile] {
            if (window.OpenPlayback(path) && window.Player())
                window.Player()->PlayPause();
        });
    }

    int exitCode = 0;
    if (options.screenshot || options.quitAfterSeconds) {
        const int delayMs = int((options.quitAfterSeconds ? *options.quitAfterSeconds : 5.0) * 1000);
        const bool quit = options.quitAfterSeconds.has_value();
        QTimer::singleShot(delayMs, &window, [&window, &exitCode, &options, quit] {
            if (options.screenshot) {
                const QString file = QString::fromStdString(*options.screenshot);
                if (window.grab().save(file, "PNG")) {
                    std::cout << "screenshot: " << options.screenshot->c_str() << std::endl;
                } else {
                    std::cerr << "TarnvikPlayer: cannot write the screenshot " << *options.screenshot << "\n";
                    exitCode = 1;
                }
            }
            if (quit) {
                window.done(0);
                // Also ends a message box that may be open meanwhile.
                QApplication::exit(0);
            }
        });
    }
    window.exec();
    // Before the shutdown sequence, which may wait for the network.
    // One write, so that the network threads' trace lines cannot split it.
    Trace("ui lateness: worst " + std::to_string(window.WorstUiLatenessMs()) + " ms over " +
          std::to_string(window.UiLatenessTicks()) + " ticks while connected or reconnecting");
    return exitCode;
}
