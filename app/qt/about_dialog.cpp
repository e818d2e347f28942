#include "about_dialog.h"

#include "priority.h"

#include "app/commands.h"
#include "sonavex_version.h"

#include <QDesktopServices>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QUrl>

LinkButton::LinkButton(const QString &address, QWidget *parent) : QAbstractButton(parent) {
    setText(address);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    connect(this, &QAbstractButton::clicked, this, [this] {
        start_at_normal_priority([this] { QDesktopServices::openUrl(QUrl(text())); });
    });
}

QColor LinkButton::textColour() const { return isDown() ? QColor(255, 0, 0) : QColor(0, 0, 255); }

void LinkButton::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    QFont linkFont = font();
    linkFont.setUnderline(true);
    painter.setFont(linkFont);
    painter.setPen(textColour());
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere, text());
}

AboutDialog::AboutDialog(QWidget *parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(kAboutCaption));
    setModal(true);
    QFont boxFont(QStringLiteral("Arial"));
    boxFont.setPointSize(9);
    setFont(boxFont);

    // Positions in dialog units: a quarter of the average character width across, an
    // eighth of the character height down, so the box keeps its shape with any font.
    const QFontMetrics metrics(boxFont);
    const double unitX = metrics.averageCharWidth() / 4.0;
    const double unitY = metrics.height() / 8.0;
    auto place = [unitX, unitY](QWidget *widget, int x, int y, int w, int h) {
        widget->setGeometry(qRound(x * unitX), qRound(y * unitY), qRound(w * unitX),
                            qRound(h * unitY));
    };
    setFixedSize(qRound(243 * unitX), qRound(85 * unitY));

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    place(m_ok, 90, 66, 62, 14);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *icon = new QLabel(this);
    icon->setPixmap(QPixmap(QStringLiteral(":/art/icon.xpm")));
    place(icon, 8, 8, 20, 20);
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto *name = new QLabel(QStringLiteral(SONAVEX_NAME_AND_VERSION), this);
    place(name, 33, 7, 200, 8);

    m_link = new LinkButton(QString::fromLatin1(kHomePage), this);
    place(m_link, 42, 15, 192, 9);

    const int credits[4][3] = {{42, 23, 191}, {42, 31, 187}, {33, 44, 200}, {42, 52, 192}};
    for (int i = 0; i < 4; ++i) {
        auto *line = new QLabel(QString::fromUtf8(kCredits[i]), this);
        place(line, credits[i][0], credits[i][1], credits[i][2], 8);
    }
    m_ok->setFocus();
}
