#include "main_window.h"

#include "about_dialog.h"
#include "paint_timing.h"
#include "priority.h"
#include "strip_painter.h"

#include "capture/block_fifo.h"
#include "capture/capture.h"
#include "capture/sound_sources.h"
#include "engine/display.h"
#include "engine/frame.h"
#include "engine/history.h"
#include "engine/scale_strip.h"

#include <QAction>
#include <QActionGroup>
#include <QContextMenuEvent>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWindow>

static constexpr int kImageWidth = 16; // one toolbar image
static constexpr int kImageHeight = 15;
static constexpr int kPinInImage = 1; // the topmost button's image while pressed

// ---- block hooks: how filled buffers and repaint requests reach the window ----

// Device thread: only queues the handling on the window's thread.
static void wake_window(void *window) {
    note_block_delivered();
    auto *target = static_cast<MainWindow *>(window);
    QMetaObject::invokeMethod(
        target, [target] { target->handleBlock(); }, Qt::QueuedConnection);
}

static void repaint_window(void *window) { static_cast<MainWindow *>(window)->requestRepaint(); }

MainWindow::MainWindow()
    : m_toolBar(new QToolBar(this)), m_view(nullptr),
      m_picture(kPictureWidth, kPictureHeight, QImage::Format_RGB32) {
    setWindowTitle(QStringLiteral("Sonavex"));
    // The readout (and the buttons' tips) show also while another window is the active one:
    // an analyser kept on top seldom has the focus.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    QIcon icon(QStringLiteral(":/art/icon.xpm"));
    icon.addFile(QStringLiteral(":/art/icon16.xpm"));
    setWindowIcon(icon);

    m_toolbarImages = QImage(QStringLiteral(":/art/toolbar.xpm"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setIconSize(QSize(kImageWidth, kImageHeight));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolBar->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    for (const ToolbarButton &button : kToolbarButtons) {
        if (button.kind == ButtonKind::Separator) {
            m_toolBar->addSeparator();
        } else {
            addCommand(static_cast<Command>(button.command), button.image, button.tip,
                       button.kind == ButtonKind::Check);
        }
    }
    m_toolBarHeight = m_toolBar->sizeHint().height();

    m_view = new PictureView(m_picture, this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_view, 1);
    m_savePicture = addPictureCommand(SONAVEX_MENU_SAVE_PICTURE, QKeySequence(Qt::CTRL | Qt::Key_S),
                                      &PictureView::savePicture);
    m_copyPicture = addPictureCommand(SONAVEX_MENU_COPY_PICTURE, QKeySequence(Qt::CTRL | Qt::Key_C),
                                      &PictureView::copyPicture);

    // Without its history or planes the window could only draw through nothing: it is not
    // created at all, and the program ends as for any failed start.
    if (!create_sample_history() || !create_display_block()) {
        free_sample_history();
        free_display_block();
        return;
    }
    m_picture.fill(Qt::black);
    set_block_hooks(wake_window, repaint_window);

    action(Scope)->setChecked(true);
    set_view_flags(view_flags() | kScopeMode);
    action(Note)->setChecked(true);
    set_view_flags(view_flags() | kNoteMode);
    action(BassZoom)->setEnabled(false); // no bass zoom on the semitone scale
    set_bass_zoom(1);
    probeMixer();
    drawStrip();
    sizeCommand(); // 1x, shown
    action(Pause)->setChecked(false);
    // Capture starts from the event loop, once the window is up.
    QMetaObject::invokeMethod(this, &MainWindow::pauseCommand, Qt::QueuedConnection);
    m_view->update();
    m_created = true;
}

MainWindow::~MainWindow() { shutdown(); }

void MainWindow::shutdown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    restore_priority();
    stop_capture();
    set_block_hooks(nullptr, nullptr);
    clear_block_messages();
    free_sample_history();
    free_display_block();
    report_paint_timing();
}

void MainWindow::addCommand(Command command, int image, const char *tip, bool checkable) {
    QAction *item = m_toolBar->addAction(
        QPixmap::fromImage(m_toolbarImages.copy(image * kImageWidth, 0, kImageWidth, kImageHeight)),
        QString());
    item->setToolTip(QString::fromUtf8(tip));
    item->setCheckable(checkable);
    item->setData(static_cast<int>(command));
    connect(item, &QAction::triggered, this, [this, command] {
        switch (command) {
        case Topmost:
            topmostCommand();
            break;
        case Pause:
            pauseCommand();
            break;
        case Scope:
            scopeCommand();
            break;
        case Note:
            noteCommand();
            break;
        case BassZoom:
            bassZoomCommand();
            break;
        case Size:
            sizeCommand();
            break;
        case Mixer:
            mixerCommand();
            break;
        case About:
            aboutCommand();
            break;
        }
    });
}

// A command on the picture: in its menu, and its keys while the window has the focus.
QAction *MainWindow::addPictureCommand(const char *text, const QKeySequence &keys,
                                       void (PictureView::*command)()) {
    auto *item = new QAction(QString::fromUtf8(text), this);
    item->setShortcut(keys);
    item->setShortcutContext(Qt::WindowShortcut);
    connect(item, &QAction::triggered, m_view, command);
    addAction(item);
    return item;
}

QAction *MainWindow::action(Command command) const {
    for (QAction *item : m_toolBar->actions()) {
        if (item->data().toInt() == command) {
            return item;
        }
    }
    return nullptr;
}

// The recording-level control: a PulseAudio mixer where one is installed (pavucontrol opened
// on its input devices, or pavucontrol-qt), else the desktop's own sound settings, which
// fresh GNOME and KDE desktops have instead. The first found on PATH wins.
void MainWindow::probeMixer() {
    struct Candidate {
        const char *program;
        const char *argument; // nullptr: none
    };
    static constexpr Candidate kMixers[] = {
        {"pavucontrol", "--tab=4"},
        {"pavucontrol-qt", nullptr},
        {"gnome-control-center", "sound"},
        {"systemsettings", "kcm_pulseaudio"},
    };
    m_mixerProgram.clear();
    m_mixerArguments.clear();
    for (const Candidate &mixer : kMixers) {
        m_mixerProgram = QStandardPaths::findExecutable(QString::fromLatin1(mixer.program));
        if (!m_mixerProgram.isEmpty()) {
            if (mixer.argument) {
                m_mixerArguments << QString::fromLatin1(mixer.argument);
            }
            break;
        }
    }
    action(Mixer)->setEnabled(!m_mixerProgram.isEmpty());
}

void MainWindow::drawStrip() {
    QtStripPainter painter(m_picture);
    draw_scale_strip(painter, view_flags());
}

void MainWindow::requestRepaint() { m_view->update(); }

void MainWindow::handleBlock() {
    const bool wasRunning = capture_running();
    on_block_wakeup(this);
    showStoppedIfEnded(wasRunning);
    note_frame_drawn();
    m_view->refreshReadout();
}

// A right click on the picture, or the keyboard's menu key anywhere in the window.
void MainWindow::contextMenuEvent(QContextMenuEvent *event) {
    if (event->reason() == QContextMenuEvent::Mouse) {
        if (!m_view->geometry().contains(event->pos())) {
            event->ignore();
            return;
        }
        recordFromMenu(event->globalPos());
    } else {
        recordFromMenu(m_view->mapToGlobal(m_view->contentsRect().topLeft() + QPoint(8, 8)));
    }
}

// "Record from": the server's sources as it names them, read now; the check mark on what
// is recorded now (or, paused, at the next start). Choosing moves the running recording.
void MainWindow::recordFromMenu(QPoint at) {
    const SourceChoices choices = read_source_choices();
    QMenu menu(this);
    menu.setTitle(QString::fromUtf8(SONAVEX_MENU_RECORD_FROM));
    menu.addSection(QString::fromUtf8(SONAVEX_MENU_RECORD_FROM));
    auto *group = new QActionGroup(&menu);
    const auto add = [&](const QString &text, const std::string &name) {
        QAction *item = menu.addAction(text);
        item->setCheckable(true);
        item->setChecked(name == choices.checked);
        item->setData(QString::fromStdString(name));
        group->addAction(item);
    };
    add(QString::fromUtf8(SONAVEX_MENU_DEFAULT_INPUT), std::string());
    for (const SoundSource &source : choices.sources) {
        // The server's text as it is: an ampersand is not a shortcut marker here.
        add(QString::fromStdString(source.description)
                .replace(QLatin1Char('&'), QStringLiteral("&&")),
            source.name);
    }
    if (!choices.answered) {
        menu.addAction(QStringLiteral("The sound server does not answer"))->setEnabled(false);
    }
    menu.addSeparator();
    menu.addAction(m_savePicture);
    menu.addAction(m_copyPicture);
    QAction *picked = menu.exec(at);
    if (picked && picked->isCheckable()) {
        if (capture_running()) {
            note_source_chosen();
        }
        choose_source(picked->data().toString().toStdString());
    }
}

// Capture that ends by itself (the device failed, a buffer could not go back, the start
// failed) must not look as if it still recorded: the pause button is pressed, as after a
// failed open, so that one click retries.
void MainWindow::showStoppedIfEnded(bool wasRunning) {
    if (wasRunning && !capture_running()) {
        action(Pause)->setChecked(true);
    }
}

void MainWindow::bringToFront() {
    if (isMinimized()) {
        showNormal();
    }
    show();
    raise();
    activateWindow();
}

// ---- toolbar commands; a check button has already toggled when its command arrives ----

void MainWindow::topmostCommand() {
    const bool pressed = action(Topmost)->isChecked();
    action(Topmost)->setIcon(QPixmap::fromImage(m_toolbarImages.copy(
        (pressed ? kPinInImage : 0) * kImageWidth, 0, kImageWidth, kImageHeight)));
    // Through the native window, so the window keeps its identity and place.
    if (QWindow *native = windowHandle()) {
        native->setFlag(Qt::WindowStaysOnTopHint, pressed);
    }
    show();
    if (pressed) {
        raise();
        raise_priority();
    } else {
        restore_priority();
    }
}

void MainWindow::pauseCommand() {
    const bool pressed = action(Pause)->isChecked();
    if (pressed) {
        if (capture_running()) {
            stop_capture();
        }
        return;
    }
    if (capture_running()) {
        return;
    }
    set_capture_running(open_capture(this));
    if (!capture_running()) {
        action(Pause)->setChecked(true); // no input: shown paused, a release tries again
        return;
    }
    start_capture();
    showStoppedIfEnded(true);
}

void MainWindow::scopeCommand() {
    const unsigned flags = view_flags();
    set_view_flags(action(Scope)->isChecked() ? flags | kScopeMode : flags & ~kScopeMode);
    m_view->update();
}

// The bass zoom button keeps its pressed state while greyed: the factor only matters on
// the linear scale, and it is there again as it was when note mode ends.
void MainWindow::noteCommand() {
    const bool pressed = action(Note)->isChecked();
    const unsigned flags = view_flags();
    set_view_flags(pressed ? flags | kNoteMode : flags & ~kNoteMode);
    action(BassZoom)->setEnabled(!pressed);
    redrawTail();
}

void MainWindow::bassZoomCommand() {
    set_bass_zoom(action(BassZoom)->isChecked() ? 2 : 1);
    redrawTail();
}

// The bars vanish until the next frame draws them on the new scale.
void MainWindow::redrawTail() {
    clear_spectrum_plane();
    drawStrip();
    m_view->update();
}

void MainWindow::sizeCommand() {
    m_doubleSize = !m_doubleSize;
    if (isMaximized()) {
        m_doubleSize = false;
    }
    showNormal();
    const int scale = m_doubleSize ? 2 : 1;
    const int edge = m_view->frameWidth(); // the sunken frame around the picture
    resize(kPictureWidth * scale + 2 * edge, m_toolBarHeight + kPictureHeight * scale + 2 * edge);
}

void MainWindow::mixerCommand() {
    if (!m_mixerProgram.isEmpty()) {
        start_at_normal_priority(
            [this] { QProcess::startDetached(m_mixerProgram, m_mixerArguments); });
    }
}

void MainWindow::aboutCommand() {
    AboutDialog box(this);
    box.exec(); // the picture keeps moving: blocks are handled by the box's event loop
}
