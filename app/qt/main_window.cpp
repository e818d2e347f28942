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
#include "engine/readout.h"
#include "engine/scale_strip.h"

#include <QAction>
#include <QActionGroup>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QToolBar>
#include <QToolTip>
#include <QTransform>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif

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

// ---- the picture ----

PictureView::PictureView(QImage &picture, QWidget *parent) : QFrame(parent), m_picture(picture) {
    // The classic sunken edge, two pixels wide: dark then shadow above and left, light then
    // midlight below and right.
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setAttribute(Qt::WA_OpaquePaintEvent); // the frame and the picture cover every pixel
    setMinimumSize(0, 0);
}

void PictureView::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    drawFrame(&painter);

    const QRect inside = contentsRect();
    if (inside.width() <= 0 || inside.height() <= 0) {
        note_paint_finished();
        return;
    }
    compose_picture(reinterpret_cast<std::uint32_t *>(m_picture.bits()),
                    m_picture.bytesPerLine() / 4, view_flags());

    // The picture goes out in device pixels, so 1x means one picture pixel per logical
    // pixel and scaling is always the program's own stretch, never the painter's smoothing.
    const qreal ratio = devicePixelRatioF();
    const QSize target(qRound(inside.width() * ratio), qRound(inside.height() * ratio));
    if (target == m_picture.size()) {
        painter.drawImage(QRectF(inside.topLeft(), QSizeF(target) / ratio), m_picture);
        releaseStretch();
    } else {
        painter.setWorldTransform(QTransform::fromScale(1.0 / ratio, 1.0 / ratio));
        paintStretched(painter, QPoint(qRound(inside.left() * ratio), qRound(inside.top() * ratio)),
                       target);
    }
    painter.end();
    note_paint_finished();
}

// The readout: only asked for while the pointer rests over the picture (a tooltip event),
// and refreshed by the window's frames only while its tooltip shows.
bool PictureView::event(QEvent *event) {
    if (event->type() != QEvent::ToolTip) {
        return QFrame::event(event);
    }
    const auto *help = static_cast<QHelpEvent *>(event);
    QRect area;
    m_readoutText = readoutAt(help->pos(), &area);
    m_readoutPos = help->pos();
    if (m_readoutText.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), m_readoutText, this, area);
    }
    return true;
}

void PictureView::refreshReadout() {
    if (m_readoutText.isEmpty() || !QToolTip::isVisible() || QToolTip::text() != m_readoutText) {
        return;
    }
    QRect area;
    const QString text = readoutAt(m_readoutPos, &area);
    if (!text.isEmpty() && text != m_readoutText) {
        m_readoutText = text;
        QToolTip::showText(mapToGlobal(m_readoutPos), text, this, area);
    }
}

QString PictureView::readoutAt(QPoint pos, QRect *area) const {
    QPoint pixel;
    const int band = pictureAt(pos, &pixel) ? band_at_column(pixel.x()) : -1;
    if (band < 0) {
        return QString();
    }
    const unsigned flags = view_flags();
    const bool strip = pixel.y() >= kStripTop && pixel.y() < kLowerPaneTop;
    std::string text;
    if (strip && (flags & kNoteMode)) {
        text = key_name(band);
    } else if (pixel.y() < kStripTop || (pixel.y() >= kLowerPaneTop && !(flags & kScopeMode))) {
        text = describe_band(flags, bass_zoom(), band);
    }
    if (area) {
        const int top = strip ? kStripTop : pixel.y() < kStripTop ? 0 : kLowerPaneTop;
        *area = widgetArea(QRect(4 * band, top, 4, strip ? kStripRows : kPlaneRows));
    }
    return QString::fromStdString(text);
}

// The inverse of the stretch: device pixel d of the target shows picture pixel
// d * picture / target, the first of its span.
bool PictureView::pictureAt(QPoint pos, QPoint *pixel) const {
    const QRect inside = contentsRect();
    if (!inside.contains(pos)) {
        return false;
    }
    const qreal ratio = devicePixelRatioF();
    const int width = qMax(1, qRound(inside.width() * ratio));
    const int height = qMax(1, qRound(inside.height() * ratio));
    const int x = qMin(width - 1, static_cast<int>((pos.x() - inside.left()) * ratio));
    const int y = qMin(height - 1, static_cast<int>((pos.y() - inside.top()) * ratio));
    *pixel = QPoint(static_cast<int>(static_cast<qint64>(x) * kPictureWidth / width),
                    static_cast<int>(static_cast<qint64>(y) * kPictureHeight / height));
    return true;
}

// The widget rectangle that shows the given picture pixels (approximately, at odd scales).
QRect PictureView::widgetArea(QRect pixels) const {
    const QRect inside = contentsRect();
    const auto along = [](int picture, int size, int length) {
        return static_cast<int>(static_cast<qint64>(picture) * size / length);
    };
    const int left = along(pixels.left(), inside.width(), kPictureWidth);
    const int right = along(pixels.left() + pixels.width(), inside.width(), kPictureWidth);
    const int top = along(pixels.top(), inside.height(), kPictureHeight);
    const int bottom = along(pixels.top() + pixels.height(), inside.height(), kPictureHeight);
    return QRect(inside.left() + left, inside.top() + top, right - left, bottom - top);
}

// Every target pixel equals what stretch_or gives for the whole target, without a buffer of
// the target's size: the shrinking axes are OR-combined into m_reduced, then each of its rows
// is widened (if the width grows) and copied to every target row that shows it: one when the
// height shrinks, a run of them when it grows.
void PictureView::paintStretched(QPainter &painter, QPoint origin, QSize target) {
    const int width = m_picture.width();
    const int height = m_picture.height();
    const int reducedWidth = std::min(target.width(), width);
    const int reducedHeight = std::min(target.height(), height);
    if (target != m_target) {
        m_target = target;
        const bool reduce = reducedWidth < width || reducedHeight < height;
        m_reduced = reduce ? QImage(reducedWidth, reducedHeight, QImage::Format_RGB32) : QImage();
        m_reduceColumns = reduce ? stretch_axis(width, reducedWidth) : StretchAxis{};
        m_reduceRows = reduce ? stretch_axis(height, reducedHeight) : StretchAxis{};
        const bool widen = target.width() > width;
        m_line = widen ? QImage(target.width(), 1, QImage::Format_RGB32) : QImage();
        m_widen = widen ? stretch_axis(width, target.width()).first : std::vector<int>{};
        // Enlarging gives every source row a run of one or more target rows, in order.
        m_rowStart.resize(static_cast<std::size_t>(reducedHeight) + 1);
        if (target.height() > height) {
            const StretchAxis rows = stretch_axis(height, target.height());
            for (int d = target.height() - 1; d >= 0; --d) {
                m_rowStart[static_cast<std::size_t>(rows.first[static_cast<std::size_t>(d)])] = d;
            }
        } else {
            for (int r = 0; r < reducedHeight; ++r) {
                m_rowStart[static_cast<std::size_t>(r)] = r;
            }
        }
        m_rowStart.back() = target.height();
        m_trim = true;
    }

    const QImage *source = &m_picture;
    if (!m_reduced.isNull()) {
        stretch_or(reinterpret_cast<const std::uint32_t *>(m_picture.constBits()),
                   m_picture.bytesPerLine() / 4,
                   reinterpret_cast<std::uint32_t *>(m_reduced.bits()),
                   m_reduced.bytesPerLine() / 4, m_reduceColumns, m_reduceRows);
        source = &m_reduced;
    }
    if (m_line.isNull() && target.height() <= height) {
        painter.drawImage(origin, *source); // both axes shrink, or one keeps its size
        return;
    }
    // One unscaled copy per target row: the painter's copy of an unscaled row is a plain
    // block move, where its scaling would fetch every pixel through a computed index.
    auto *line = reinterpret_cast<std::uint32_t *>(m_line.bits());
    for (int r = 0; r < reducedHeight; ++r) {
        const QImage *from = source;
        QRect part(0, r, reducedWidth, 1);
        if (line != nullptr) {
            const auto *row = reinterpret_cast<const std::uint32_t *>(source->constScanLine(r));
            for (std::size_t x = 0; x < m_widen.size(); ++x) {
                line[x] = row[m_widen[x]];
            }
            from = &m_line;
            part = m_line.rect();
        }
        for (int y = m_rowStart[static_cast<std::size_t>(r)];
             y < m_rowStart[static_cast<std::size_t>(r) + 1]; ++y) {
            painter.drawImage(QPoint(origin.x(), origin.y() + y), *from, part);
        }
    }
}

// Back at the picture's own size nothing of the stretch is needed. The window's larger
// buffers (ours and the painter's) were freed by now, but the C library may keep freed
// blocks for reuse; hand them back to the system once, so the program shrinks too.
void PictureView::releaseStretch() {
    if (!m_trim) {
        return;
    }
    m_target = QSize();
    m_reduced = QImage();
    m_line = QImage();
    m_reduceColumns = StretchAxis{};
    m_reduceRows = StretchAxis{};
    std::vector<int>().swap(m_widen);
    std::vector<int>().swap(m_rowStart);
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    m_trim = false;
}

// ---- the window ----

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
