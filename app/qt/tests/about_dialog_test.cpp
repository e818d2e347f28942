#include "about_dialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

int pixelsOf(QWidget *widget, QRgb colour) {
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) == colour;
        }
    }
    return count;
}

void press(QWidget *target, Qt::Key key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

TEST(AboutDialog, TextsFocusAndClosingKeys) {
    AboutDialog box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("Sonavex のバージョン情報"));
    QStringList texts;
    for (const QLabel *label : box.findChildren<QLabel *>()) {
        texts << label->text();
    }
    EXPECT_TRUE(texts.contains(QStringLiteral("Sonavex Version 1.18")));
    EXPECT_EQ(texts.size(), 6); // icon, name and version, four credit lines
    EXPECT_EQ(box.link()->text(), QStringLiteral("https://sonavex.example.org/"));
    EXPECT_TRUE(box.okButton()->isDefault());

    box.show();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), box.okButton());
    press(box.okButton(), Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), box.link()); // the link is mouse-only
    press(&box, Qt::Key_Escape);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Rejected);

    box.show();
    QApplication::processEvents();
    press(box.okButton(), Qt::Key_Return);
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

TEST(AboutDialog, LinkIsBlueAndUnderlinedAndRedWhilePressed) {
    AboutDialog box;
    box.show();
    QApplication::processEvents();
    EXPECT_GT(pixelsOf(box.link(), qRgb(0, 0, 255)), 100); // glyphs plus the underline
    EXPECT_EQ(pixelsOf(box.link(), qRgb(255, 0, 0)), 0);
    box.link()->setDown(true);
    EXPECT_GT(pixelsOf(box.link(), qRgb(255, 0, 0)), 100);
    EXPECT_EQ(pixelsOf(box.link(), qRgb(0, 0, 255)), 0);
    box.link()->setDown(false);
}

} // namespace
