#include "fake_wave_input.h"
#include "main_window.h"

#include "capture/capture.h"
#include "engine/frame.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QToolBar>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

constexpr int kEdge = 2; // the sunken edge around the picture

QColor yellow() { return QColor(255, 255, 0); }
QColor darkGrey() { return QColor(64, 64, 64); }
QColor lightGrey() { return QColor(192, 192, 192); }

void settle() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
}

// The picture as the window shows it: the view's pixels inside the sunken edge.
QImage shown(const MainWindow &window) {
    QImage all = window.view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    return all.copy(kEdge, kEdge, all.width() - 2 * kEdge, all.height() - 2 * kEdge);
}

QColor at(const QImage &image, int x, int y) { return QColor(image.pixel(x, y)); }

// Height of bar `bar` at 1x: lit pixels in its middle column of the spectrum pane.
int barHeight(const QImage &picture, int bar) {
    int lit = 0;
    for (int y = 0; y < 80; ++y) {
        lit += (picture.pixel(4 * bar + 1, y) & 0xffffff) != 0;
    }
    return lit;
}

int tallestBar(const QImage &picture) {
    int best = 0;
    for (int bar = 1; bar < 88; ++bar) {
        if (barHeight(picture, bar) > barHeight(picture, best)) {
            best = bar;
        }
    }
    return best;
}

bool anyLit(const QImage &picture, int top, int bottom) {
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if ((picture.pixel(x, y) & 0xffffff) != 0) {
                return true;
            }
        }
    }
    return false;
}

class MainWindowTest : public testing::Test {
  protected:
    void SetUp() override { fake_input::install(); }
    void TearDown() override {
        window.reset();
        fake_input::uninstall();
    }
    void open() {
        window = std::make_unique<MainWindow>();
        ASSERT_TRUE(window->created());
        settle();
    }
    // Plays a tone into the ring and lets the window handle every block.
    void play(double hz, int blocks) {
        for (int i = 0; i < blocks; ++i) {
            fake_input::deliver(hz, 1);
            settle();
        }
    }
    void press(MainWindow::Command command) {
        window->action(command)->trigger();
        settle();
    }
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, StartsAtOneXCapturingInNoteAndScopeModeWithBlackPicture) {
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Sonavex"));
    EXPECT_FALSE(window->action(MainWindow::Topmost)->isChecked());
    EXPECT_FALSE(window->action(MainWindow::Pause)->isChecked());
    EXPECT_TRUE(window->action(MainWindow::Scope)->isChecked());
    EXPECT_TRUE(window->action(MainWindow::Note)->isChecked());
    EXPECT_FALSE(window->action(MainWindow::BassZoom)->isChecked());
    EXPECT_FALSE(window->action(MainWindow::BassZoom)->isEnabled());
    EXPECT_TRUE(window->action(MainWindow::Size)->isEnabled());
    EXPECT_TRUE(window->action(MainWindow::About)->isEnabled());
    EXPECT_EQ(view_flags(), 3u);
    EXPECT_EQ(bass_zoom(), 1);
    EXPECT_TRUE(capture_running());
    EXPECT_TRUE(fake_input::recording());

    // Toolbar: ten entries with the two separators in place, the exact tooltips.
    const QList<QAction *> items = window->toolBar()->actions();
    ASSERT_EQ(items.size(), 10);
    EXPECT_TRUE(items[2]->isSeparator());
    EXPECT_TRUE(items[6]->isSeparator());
    EXPECT_EQ(items[0]->toolTip(), QStringLiteral("最前面に表示"));
    EXPECT_EQ(items[1]->toolTip(), QStringLiteral("一時停止"));
    EXPECT_EQ(items[5]->toolTip(), QStringLiteral("低音域拡大表示"));
    EXPECT_EQ(items[7]->toolTip(), QStringLiteral("ウィンドウサイズ正規化"));
    EXPECT_EQ(items[9]->toolTip(), QStringLiteral("バージョン情報"));
    EXPECT_FALSE(items[0]->icon().isNull());

    const QImage picture = shown(*window);
    ASSERT_EQ(picture.size(), QSize(352, 172));
    EXPECT_FALSE(anyLit(picture, 0, 80));
    EXPECT_FALSE(anyLit(picture, 92, 172));
    EXPECT_EQ(at(picture, 1, 85), yellow());   // A0
    EXPECT_EQ(at(picture, 5, 85), darkGrey()); // A#0
    EXPECT_EQ(at(picture, 13, 85), Qt::white); // C1
    EXPECT_EQ(at(picture, 3, 85), Qt::black);  // the gap between keys
    EXPECT_EQ(at(picture, 349, 91), yellow()); // C8
}

TEST_F(MainWindowTest, ToneShowsItsKeyAndPauseFreezesThePicture) {
    open();
    play(440.0, 9);
    const QImage playing = shown(*window);
    EXPECT_EQ(tallestBar(playing), 48);
    EXPECT_TRUE(anyLit(playing, 92, 172)); // the scope trace

    press(MainWindow::Pause);
    EXPECT_FALSE(capture_running());
    EXPECT_FALSE(fake_input::recording());
    EXPECT_EQ(fake_input::deliver(1000.0, 1), 0);
    settle();
    EXPECT_EQ(shown(*window), playing);

    press(MainWindow::Pause);
    EXPECT_TRUE(capture_running());
    EXPECT_EQ(fake_input::opens(), 2);
    play(1000.0, 9);
    EXPECT_EQ(tallestBar(shown(*window)), 62);
}

TEST_F(MainWindowTest, FailedOpenLeavesPausePressedAndReleaseTriesAgain) {
    fake_input::fail_open(true);
    open();
    EXPECT_TRUE(window->action(MainWindow::Pause)->isChecked());
    EXPECT_FALSE(capture_running());

    fake_input::fail_open(false);
    press(MainWindow::Pause); // released: opens again
    EXPECT_FALSE(window->action(MainWindow::Pause)->isChecked());
    EXPECT_TRUE(capture_running());
}

TEST_F(MainWindowTest, NoteModeSwitchesStripClearsBarsAndGreysBassZoom) {
    open();
    play(440.0, 9);
    QAction *bassZoom = window->action(MainWindow::BassZoom);

    press(MainWindow::Note); // linear scale: labels on grey, bars cleared, bass zoom usable
    EXPECT_EQ(view_flags(), 2u);
    EXPECT_TRUE(bassZoom->isEnabled());
    const QImage linear = shown(*window);
    EXPECT_FALSE(anyLit(linear, 0, 80));
    EXPECT_EQ(at(linear, 0, 80), lightGrey());
    EXPECT_EQ(at(linear, 351, 91), lightGrey());
    EXPECT_TRUE(anyLit(linear, 92, 172)); // the lower pane is not cleared

    bassZoom->trigger(); // factor 2: the centre and right labels change, the left one not
    settle();
    EXPECT_EQ(bass_zoom(), 2);
    const QImage zoomed = shown(*window);
    EXPECT_EQ(zoomed.copy(0, 80, 40, 12), linear.copy(0, 80, 40, 12));
    EXPECT_NE(zoomed.copy(150, 80, 52, 12), linear.copy(150, 80, 52, 12));
    EXPECT_NE(zoomed.copy(290, 80, 62, 12), linear.copy(290, 80, 62, 12));

    press(MainWindow::Note); // keyboard again; bass zoom greyed but still pressed
    EXPECT_FALSE(bassZoom->isEnabled());
    EXPECT_TRUE(bassZoom->isChecked());
    EXPECT_EQ(bass_zoom(), 2);
    EXPECT_EQ(at(shown(*window), 193, 85), yellow()); // A4

    press(MainWindow::Note);
    EXPECT_TRUE(bassZoom->isEnabled());
    EXPECT_TRUE(bassZoom->isChecked());
    EXPECT_EQ(shown(*window).copy(0, 80, 352, 12), zoomed.copy(0, 80, 352, 12));
}

TEST_F(MainWindowTest, ScopeSwitchesLowerPaneWithoutClearingEither) {
    open();
    play(440.0, 9);
    const QImage scope = shown(*window);

    press(MainWindow::Scope);
    EXPECT_EQ(view_flags(), 1u);
    const QImage spectrogram = shown(*window);
    EXPECT_EQ(spectrogram.copy(0, 0, 352, 92), scope.copy(0, 0, 352, 92));
    EXPECT_NE(spectrogram.copy(0, 92, 352, 80), scope.copy(0, 92, 352, 80));
    EXPECT_TRUE(anyLit(spectrogram, 92, 101)); // the newest rows at the top

    press(MainWindow::Scope);
    EXPECT_EQ(shown(*window), scope);
}

TEST_F(MainWindowTest, SizeTogglesBetweenPixelForPixelAndEveryPixelDoubled) {
    open();
    play(440.0, 9);
    const QImage single = shown(*window);
    const int toolBarHeight = window->height() - 172 - 2 * kEdge;
    EXPECT_EQ(window->width(), 352 + 2 * kEdge);

    press(MainWindow::Size);
    EXPECT_TRUE(window->doubleSize());
    EXPECT_EQ(window->size(), QSize(704 + 2 * kEdge, toolBarHeight + 344 + 2 * kEdge));
    const QImage twice = shown(*window);
    ASSERT_EQ(twice.size(), QSize(704, 344));
    EXPECT_EQ(twice, single.scaled(704, 344)); // fast scaling replicates pixels

    press(MainWindow::Size);
    EXPECT_FALSE(window->doubleSize());
    EXPECT_EQ(shown(*window).size(), QSize(352, 172));
}

TEST_F(MainWindowTest, TopmostKeepsWindowOnTopWhilePressed) {
    open();
    const qint64 pinLying = window->action(MainWindow::Topmost)->icon().cacheKey();
    press(MainWindow::Topmost);
    ASSERT_NE(window->windowHandle(), nullptr);
    EXPECT_TRUE(window->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    EXPECT_NE(window->action(MainWindow::Topmost)->icon().cacheKey(), pinLying);
    press(MainWindow::Topmost);
    EXPECT_FALSE(window->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
}

} // namespace
