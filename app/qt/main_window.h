#pragma once

#include "stretch.h"

#include <QImage>
#include <QStringList>
#include <QWidget>

class QAction;
class QToolBar;

// The picture area: a 2-pixel sunken edge around the composite picture, stretched to fill
// what lies inside it. Painting composes the planes into the picture and scales it; the
// scale strip rows are left as the strip painter drew them.
class PictureView : public QWidget {
    Q_OBJECT
  public:
    PictureView(QImage &picture, QWidget *parent = nullptr);

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    QImage &m_picture; // 352 x 172, owned by the main window
    QImage m_scaled;   // the stretched picture, reallocated only when the size changes
    StretchAxis m_columns;
    StretchAxis m_rows;
};

// The program's only window: the toolbar of eight commands above the picture. It owns the
// view state the analysis reads, the composite picture and the capture's start and stop.
class MainWindow : public QWidget {
    Q_OBJECT
  public:
    // Toolbar commands, numbered as the Windows build numbers them.
    enum Command {
        Topmost = 110,
        Note = 113,
        About = 114,
        Scope = 115,
        BassZoom = 116,
        Mixer = 117,
        Size = 118,
        Pause = 119,
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

  private:
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
