#pragma once

#include "picture_view.h"

#include "app/commands.h"

#include <QImage>
#include <QStringList>
#include <QWidget>

class QAction;
class QContextMenuEvent;
class QKeySequence;
class QToolBar;

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
    QAction *addPictureCommand(const char *text, const QKeySequence &keys,
                               void (PictureView::*command)());
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
    QAction *m_savePicture = nullptr; // the picture's menu below its sources, and Ctrl+S
    QAction *m_copyPicture = nullptr; // and Ctrl+C
    QImage m_toolbarImages;           // twelve 16 x 15 images side by side
    QImage m_picture;                 // the composite picture, 352 x 172
    int m_toolBarHeight = 0;
    bool m_doubleSize = true; // the creation's own size command turns it false: 1x
    QString m_mixerProgram;   // empty when no recording mixer was found
    QStringList m_mixerArguments;
    bool m_shutDown = false;
};
