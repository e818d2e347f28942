#include "strip_painter.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

static QColor to_qcolor(Rgb colour) { return QColor(colour.red, colour.green, colour.blue); }

// A font whose cell (ascent plus descent) is `cell_height` pixels, like a GDI font asked for
// a positive height; without smoothing, so the labels stay as crisp as the rest.
static QFont cell_font(const StripFont &font) {
    QFont qfont(QString::fromLatin1(font.face));
    qfont.setStyleStrategy(QFont::NoAntialias);
    qfont.setHintingPreference(QFont::PreferFullHinting);
    qfont.setPixelSize(font.cell_height);
    const int height = QFontMetrics(qfont).height();
    if (height > font.cell_height) {
        qfont.setPixelSize(qMax(1, font.cell_height * font.cell_height / height));
    }
    return qfont;
}

void QtStripPainter::fill_rect(const StripRect &rect, Rgb colour) {
    QPainter painter(&m_picture);
    painter.fillRect(QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
                     to_qcolor(colour));
}

void QtStripPainter::draw_text(const char *text, const StripRect &rect, StripAlign align,
                               const StripFont &font, Rgb background, Rgb foreground) {
    QPainter painter(&m_picture);
    const QFont qfont = cell_font(font);
    painter.setFont(qfont);
    const QFontMetrics metrics(qfont);
    const QString label = QString::fromLatin1(text);
    const QRect area(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    const int width = metrics.horizontalAdvance(label);
    int left = area.left();
    if (align == StripAlign::Centre) {
        left = area.left() + (area.width() - width) / 2;
    } else if (align == StripAlign::Right) {
        left = area.left() + area.width() - width;
    }
    const QRect box = QRect(left, area.top(), width, metrics.height()).intersected(area);
    painter.setClipRect(area);
    painter.fillRect(box, to_qcolor(background));
    painter.setPen(to_qcolor(foreground));
    painter.drawText(QPoint(left, area.top() + metrics.ascent()), label);
}
