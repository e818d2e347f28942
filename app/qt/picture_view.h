#pragma once

#include "stretch.h"

#include <QFrame>
#include <QImage>
#include <QString>

#include <vector>

class QPainter;

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

    // The picture as the view shows it now, pixel for pixel in device pixels (1x, 2x or the
    // window's own stretch), without the frame; null when the view has no room for it.
    QImage shownPicture();
    // "Copy picture": the shown picture onto the clipboard as an image (offered as PNG).
    void copyPicture();
    // "Save picture…": asks for a file in the save dialog, proposing a dated name in the
    // user's pictures folder, and writes the shown picture there as PNG, whole or not at all.
    // A failure is said in a message box and leaves every existing file as it was.
    void savePicture();

  protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

  private:
    // The picture pixel under a point of the widget, as the stretch maps it; false outside.
    bool pictureAt(QPoint pos, QPoint *pixel) const;
    QRect widgetArea(QRect pixels) const;

    QSize targetSize() const;
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
