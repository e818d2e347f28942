#include "about_dialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

int countColour(const QImage &image, QRgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += (image.pixel(x, y) & 0xffffff) == (colour & 0xffffff);
        }
    }
    return count;
}

TEST(AboutDialog, ShowsNameVersionAndLinkWithOkAsDefault) {
    AboutDialog box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("Sonavex のバージョン情報"));
    QStringList texts;
    for (const QLabel *label : box.findChildren<QLabel *>()) {
        texts << label->text();
    }
    EXPECT_TRUE(texts.contains(QStringLiteral("Sonavex Version 1.18")));
    EXPECT_EQ(texts.size(), 6); // icon, name and version, four credit lines
    EXPECT_EQ(box.link()->text(), QStringLiteral("https://sonavex.example.org/"));
    EXPECT_EQ(box.link()->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(box.okButton()->isDefault());

    box.show();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), box.okButton());
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(box.okButton(), &tab);
    EXPECT_NE(QApplication::focusWidget(), box.link());
}

TEST(AboutDialog, LinkIsBlueAndUnderlinedAndRedWhilePressed) {
    AboutDialog box;
    box.show();
    QApplication::processEvents();
    const QImage normal = box.link()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(countColour(normal, qRgb(0, 0, 255)), 100); // glyphs plus the underline
    EXPECT_EQ(countColour(normal, qRgb(255, 0, 0)), 0);

    box.link()->setDown(true);
    const QImage pressed = box.link()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(countColour(pressed, qRgb(255, 0, 0)), 100);
    EXPECT_EQ(countColour(pressed, qRgb(0, 0, 255)), 0);
    box.link()->setDown(false);
}

TEST(AboutDialog, EscapeClosesAndEnterAccepts) {
    AboutDialog box;
    box.show();
    QApplication::processEvents();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&box, &escape);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Rejected);

    box.show();
    QApplication::processEvents();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(box.okButton(), &enter);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

} // namespace
