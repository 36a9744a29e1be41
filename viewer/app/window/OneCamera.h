// COneCamera: one video pane of the main window. It paints its caption line
// and its picture from the pane store and forwards clicks; which channel it
// shows and whether it is visible is the division logic's business.
#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

#include <string>

namespace tarnvik {

class PaneStore;
class DivisionState;
struct ViewerState;

// What a pane's caption line says and how it is coloured.
struct PaneLine {
    std::string text;      // caption + time text
    QColor background;     // highlight when the pane's channel is selected
    QColor textColour;     // yellow in the single view
    bool singleView = false;
};

// The caption line of `pane`: "Cam-%02d " with the caption channel + 1
// (empty beyond the channel count) followed by the pane's time text.
PaneLine ComposePaneLine(int pane, const std::string& timeText, const DivisionState& divisions, int channelCount);

// The caption font: "Gautami" when installed, else the system sans font.
QFont PaneCaptionFont(bool singleView);

// The texts of a pane's context menu for `channel` (0-based), in English or,
// for a Chinese language id, in Chinese.
struct PaneMenuTexts {
    QString title;   // "Select Camera"
    QString save;    // Save "Cam_%02d" Image...
    QString saveAll; // Save Image &All...
    QString print;   // Print "Cam_%02d" Image...
    QString reset;   // Reset "Cam_%02d" Channel
};
PaneMenuTexts PaneMenuTextsOf(int channel, int languageId);

class COneCamera : public QWidget {
    Q_OBJECT
public:
    COneCamera(int pane, const PaneStore& panes, const DivisionState& divisions, const ViewerState& state,
               QWidget* parent = nullptr);

    int Pane() const { return pane_; }
    // While the shown stream is being recorded to a file, "REC" is drawn.
    void SetRecordingText(const QString& text) { recordingText_ = text; }
    const QString& RecordingText() const { return recordingText_; }
    // Drawn two spaces after the time text while the pane's channel is
    // exported to AVI ("AVI Recording...").
    void SetAviText(const QString& text) { aviText_ = text; }
    // The caption line as painted now.
    QString LineText() const;
    // While the pane's channel has no signal, its picture is dimmed and this
    // text ("NO SIGNAL", "RECONNECTING IN n s") is drawn over it; empty
    // otherwise. Repaints when the text changes.
    void SetSignalText(const QString& text);
    const QString& SignalText() const { return signalText_; }
    // The language of the context menu (a language id).
    void SetLanguageId(int languageId) { languageId_ = languageId; }

signals:
    void Clicked(int pane);
    void DoubleClicked(int pane);
    // A double click with Ctrl held: the video on the whole monitor.
    void FullScreenRequested();
    // The context menu's commands (PaneMenu.cpp).
    void SaveRequested(int pane);
    void SaveAllRequested();
    void PrintRequested(int pane);
    void ResetRequested(int pane);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void contextMenuEvent(QContextMenuEvent*) override;

private:
    QString AviSuffix() const;

    const int pane_;
    const PaneStore& panes_;
    const DivisionState& divisions_;
    const ViewerState& state_;
    QString recordingText_;
    QString aviText_;
    QString signalText_;
    int languageId_ = 1033;
};

} // namespace tarnvik
