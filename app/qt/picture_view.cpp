#include "picture_view.h"

#include "paint_timing.h"

#include "engine/display.h"
#include "engine/frame.h"
#include "engine/readout.h"

#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMessageBox>
#include <QPainter>
#include <QSaveFile>
#include <QStandardPaths>
#include <QToolTip>
#include <QTransform>

#include <algorithm>
#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif

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
    const QSize target = targetSize();
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

// With SONAVEX_REPORT_READOUT=1 every text the readout's tooltip shows is also written to
// standard error, so that a test of the running program can read what a user sees.
static void reportReadout(const QString &text) {
    static const bool enabled = qEnvironmentVariableIntValue("SONAVEX_REPORT_READOUT") == 1;
    if (enabled && QToolTip::isVisible()) {
        std::fprintf(stderr, "readout: %s\n", text.toUtf8().constData());
    }
}

// The size of the shown picture in device pixels: the inside of the frame.
QSize PictureView::targetSize() const {
    const QRect inside = contentsRect();
    const qreal ratio = devicePixelRatioF();
    return QSize(qRound(inside.width() * ratio), qRound(inside.height() * ratio));
}

// The last composed picture through the same stretch as painting, so that what is kept is
// what the window shows; paused, that is the frozen picture.
QImage PictureView::shownPicture() {
    const QSize target = targetSize();
    if (target.width() <= 0 || target.height() <= 0) {
        return QImage();
    }
    if (target == m_picture.size()) {
        return m_picture.copy();
    }
    QImage shown(target, QImage::Format_RGB32);
    QPainter painter(&shown);
    paintStretched(painter, QPoint(0, 0), target);
    return shown;
}

void PictureView::copyPicture() {
    const QImage shown = shownPicture();
    if (!shown.isNull()) {
        QGuiApplication::clipboard()->setImage(shown);
    }
}

// The picture is taken when the command comes, not when the dialog closes. QSaveFile
// writes beside the chosen file and renames over it only once everything is written; the
// dialog has asked before an existing file is replaced.
void PictureView::savePicture() {
    const QImage shown = shownPicture();
    QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        folder = QDir::homePath();
    }
    const QString name =
        QStringLiteral("Sonavex ") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")) +
        QStringLiteral(".png");
    QFileDialog dialog(window(), QStringLiteral("Save picture"), QDir(folder).filePath(name),
                       QStringLiteral("PNG image (*.png)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("png"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const QString path = dialog.selectedFiles().constFirst();
    QSaveFile file(path);
    QString error;
    if (shown.isNull()) {
        error = QStringLiteral("The window shows no picture.");
    } else if (!file.open(QIODevice::WriteOnly) || !shown.save(&file, "PNG") || !file.commit()) {
        error = file.errorString();
        file.cancelWriting(); // the partial file beside the chosen one is removed
        if (error.isEmpty()) {
            error = QStringLiteral("The file could not be written.");
        }
    }
    if (!error.isEmpty()) {
        QMessageBox::warning(window(), QStringLiteral("Save picture"),
                             QStringLiteral("The picture could not be saved as \"%1\".\n%2")
                                 .arg(QDir::toNativeSeparators(path), error));
    }
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
        reportReadout(m_readoutText);
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
        reportReadout(text);
    }
}

QString PictureView::readoutAt(QPoint pos, QRect *area) const {
    QPoint pixel;
    const int band = pictureAt(pos, &pixel) ? band_at_column(pixel.x()) : -1;
    if (band < 0) {
        return QString();
    }
    if (area) {
        const bool strip = pixel.y() >= kStripTop && pixel.y() < kLowerPaneTop;
        const int top = strip ? kStripTop : pixel.y() < kStripTop ? 0 : kLowerPaneTop;
        *area = widgetArea(QRect(4 * band, top, 4, strip ? kStripRows : kPlaneRows));
    }
    return QString::fromStdString(describe_pixel(view_flags(), bass_zoom(), pixel.x(), pixel.y()));
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
