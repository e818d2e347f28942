#pragma once

#include "stretch.h"

#include "app/commands.h"

#include <QFrame>
#include <QImage>
#include <QStringList>
#include <QWidget>

class QAction;
class QContextMenuEvent;
class QPainter;
class QToolBar;

// The picture area: a 2-pixel sunken frame around the composite picture, stretched to fill
// what lies inside it. Painting composes the planes into the picture and scales it; the
// scale strip rows are left as the strip painter drew them.
class PictureView : public QFrame {
    Q_OBJECT
  public:
    PictureView(QImage &picture, QWidget *parent = nullptr);

    // The readout for the point `pos` of this widget: the band under it over the spectrum
    // and the spectrogram, the key's name over the keyboard strip; empty elsewhere. Into
    // *area the widget rectangle the text holds for.
    QString readoutAt(QPoint pos, QRect *area = nullptr) const;
    // While the readout's tooltip shows, brings its level up to date with the last frame.
    void refreshReadout();

  protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

  private:
    // The picture pixel under a point of the widget, as the stretch maps it; false outside.
    bool pictureAt(QPoint pos, QPoint *pixel) const;
    QRect widgetArea(QRect pixels) const;

    void paintStretched(QPainter &painter, QPoint origin, QSize target);
    void releaseStretch();

    QImage &m_picture; // 352 x 172, owned by the main window
    // Stretching, kept while the size stays. Never as large as the window: axes that shrink
    // are combined into m_reduced (at most the picture's size), axes that grow are
    // replicated as the rows are drawn, through a single row of the target width.
    QSize m_target;   // the size the members below are for; empty at 1x
    QImage m_reduced; // the picture with its shrinking axes combined; null if none shrinks
    QImage m_line;    // one row widened to the target width; null unless the width grows
    StretchAxis m_reduceColumns, m_reduceRows; // picture to m_reduced
    std::vector<int> m_widen;                  // source column of each target column
    std::vector<int> m_rowStart;               // first target row of each reduced row, and end
    bool m_trim = false;   // a larger size was painted: give freed memory back at 1x
    QPoint m_readoutPos;   // where the readout's tooltip was asked for
    QString m_readoutText; // what it shows; empty when none was shown
};

// The program's only window: the toolbar of eight commands above the picture. It owns the
// view state the analysis reads, the composite picture and the capture's start and stop.
class MainWindow : public QWidget {
    Q_OBJECT
  public:
    // Toolbar commands, with the numbers both programs share.
    enum Command {
        Topmost = IDM_TOPMOST,
        Note = IDM_NOTE,
        About = IDM_ABOUT,
        Scope = IDM_SCOPE,
        BassZoom = IDM_BASS_ZOOM,
        Mixer = IDM_MIXER,
        Size = IDM_SIZE,
        Pause = IDM_PAUSE,
    };

    MainWindow();
    ~MainWindow() override;

    // False when the window could not get its sample history or display planes; the program
    // then ends without showing anything.
    bool created() const { return m_created; }
    QAction *action(Command command) const;
    QToolBar *toolBar() const { return m_toolBar; }
    PictureView *view() const { return m_view; }
    const QImage &picture() const { return m_picture; }
    bool doubleSize() const { return m_doubleSize; }

    // Window thread: the whole picture is to be repainted.
    void requestRepaint();
    // Window thread: handles the next filled buffer the device handed over.
    void handleBlock();
    // Another copy was started: come to the front.
    void bringToFront();

  protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

  private:
    void recordFromMenu(QPoint at);
    void addCommand(Command command, int image, const char *tip, bool checkable);
    void probeMixer();
    void showStoppedIfEnded(bool wasRunning);
    void drawStrip();
    void redrawTail();
    void topmostCommand();
    void pauseCommand();
    void scopeCommand();
    void noteCommand();
    void bassZoomCommand();
    void sizeCommand();
    void mixerCommand();
    void aboutCommand();
    void shutdown();

    bool m_created = false;
    QToolBar *m_toolBar;
    PictureView *m_view;
    QImage m_toolbarImages; // twelve 16 x 15 images side by side
    QImage m_picture;       // the composite picture, 352 x 172
    int m_toolBarHeight = 0;
    bool m_doubleSize = true; // the creation's own size command turns it false: 1x
    QString m_mixerProgram;   // empty when no recording mixer was found
    QStringList m_mixerArguments;
    bool m_shutDown = false;
};
