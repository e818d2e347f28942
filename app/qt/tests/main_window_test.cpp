#include "fake_wave_input.h"
#include "main_window.h"

#include "capture/capture.h"
#include "engine/frame.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <gtest/gtest.h>

namespace {

constexpr int kEdge = 2; // the sunken edge around the picture
const QRgb kYellow = qRgb(255, 255, 0), kDarkGrey = qRgb(64, 64, 64),
           kLightGrey = qRgb(192, 192, 192), kWhite = qRgb(255, 255, 255), kBlack = qRgb(0, 0, 0);

void settle() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
}

// Height of each bar at 1x: lit pixels in its middle column of the spectrum pane.
int barHeight(const QImage &picture, int bar) {
    int lit = 0;
    for (int y = 0; y < 80; ++y) {
        lit += picture.pixel(4 * bar + 1, y) != kBlack;
    }
    return lit;
}

int tallestBar(const QImage &picture) {
    int best = 0;
    for (int bar = 1; bar < 88; ++bar) {
        best = barHeight(picture, bar) > barHeight(picture, best) ? bar : best;
    }
    return best;
}

bool anyLit(const QImage &picture, int top, int bottom) {
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (picture.pixel(x, y) != kBlack) {
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
    bool pressed(MainWindow::Command command) { return window->action(command)->isChecked(); }
    bool enabled(MainWindow::Command command) { return window->action(command)->isEnabled(); }
    // The picture as the window shows it: the view's pixels inside the sunken edge.
    QImage shown() {
        const QImage all = window->view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        return all.copy(kEdge, kEdge, all.width() - 2 * kEdge, all.height() - 2 * kEdge);
    }
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, StartsAtOneXCapturingInNoteAndScopeModeWithBlackPicture) {
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Sonavex"));
    EXPECT_FALSE(pressed(MainWindow::Topmost));
    EXPECT_FALSE(pressed(MainWindow::Pause));
    EXPECT_TRUE(pressed(MainWindow::Scope));
    EXPECT_TRUE(pressed(MainWindow::Note));
    EXPECT_FALSE(pressed(MainWindow::BassZoom));
    EXPECT_FALSE(enabled(MainWindow::BassZoom));
    EXPECT_TRUE(enabled(MainWindow::Size) && enabled(MainWindow::About));
    EXPECT_EQ(view_flags(), 3u);
    EXPECT_EQ(bass_zoom(), 1);
    EXPECT_TRUE(capture_running() && fake_input::recording());

    QStringList tips; // ten entries, separators third and seventh
    for (const QAction *item : window->toolBar()->actions()) {
        tips << (item->isSeparator() ? QStringLiteral("|") : item->toolTip());
    }
    EXPECT_EQ(tips.join(QLatin1Char(' ')),
              QStringLiteral("最前面に表示 一時停止 | オシロスコープ 音階表示 低音域拡大表示 | "
                             "ウィンドウサイズ正規化 録音レベル調整 バージョン情報"));

    const QImage picture = shown();
    ASSERT_EQ(picture.size(), QSize(352, 172));
    EXPECT_FALSE(anyLit(picture, 0, 80) || anyLit(picture, 92, 172));
    EXPECT_EQ(picture.pixel(1, 85), kYellow);   // A0
    EXPECT_EQ(picture.pixel(5, 85), kDarkGrey); // A#0
    EXPECT_EQ(picture.pixel(13, 85), kWhite);   // C1
    EXPECT_EQ(picture.pixel(3, 85), kBlack);    // the gap between keys
    EXPECT_EQ(picture.pixel(349, 91), kYellow); // C8
}

TEST_F(MainWindowTest, ToneShowsItsKeyAndPauseFreezesThePicture) {
    open();
    play(440.0, 9);
    const QImage playing = shown();
    EXPECT_EQ(tallestBar(playing), 48);
    EXPECT_TRUE(anyLit(playing, 92, 172)); // the scope trace

    press(MainWindow::Pause);
    EXPECT_FALSE(capture_running() || fake_input::recording());
    EXPECT_EQ(fake_input::deliver(1000.0, 1), 0);
    settle();
    EXPECT_EQ(shown(), playing);

    press(MainWindow::Pause);
    EXPECT_TRUE(capture_running());
    EXPECT_EQ(fake_input::opens(), 2);
    play(1000.0, 9);
    EXPECT_EQ(tallestBar(shown()), 62);
}

TEST_F(MainWindowTest, FailedOpenLeavesPausePressedAndReleaseTriesAgain) {
    fake_input::fail_open(true);
    open();
    EXPECT_TRUE(pressed(MainWindow::Pause));
    EXPECT_FALSE(capture_running());
    fake_input::fail_open(false);
    press(MainWindow::Pause);
    EXPECT_FALSE(pressed(MainWindow::Pause));
    EXPECT_TRUE(capture_running());
}

TEST_F(MainWindowTest, NoteModeSwitchesStripClearsBarsAndGreysBassZoom) {
    open();
    play(440.0, 9);
    press(MainWindow::Note); // linear scale: labels on grey, bars gone, bass zoom usable
    EXPECT_EQ(view_flags(), 2u);
    EXPECT_TRUE(enabled(MainWindow::BassZoom));
    const QImage linear = shown();
    EXPECT_FALSE(anyLit(linear, 0, 80));
    EXPECT_TRUE(anyLit(linear, 92, 172)); // the lower pane stays
    EXPECT_EQ(linear.pixel(0, 80), kLightGrey);
    EXPECT_EQ(linear.pixel(351, 91), kLightGrey);

    press(MainWindow::BassZoom); // centre and right labels change, the left one not
    EXPECT_EQ(bass_zoom(), 2);
    const QImage zoomed = shown();
    EXPECT_EQ(zoomed.copy(0, 80, 40, 12), linear.copy(0, 80, 40, 12));
    EXPECT_NE(zoomed.copy(150, 80, 52, 12), linear.copy(150, 80, 52, 12));
    EXPECT_NE(zoomed.copy(290, 80, 62, 12), linear.copy(290, 80, 62, 12));

    press(MainWindow::Note); // keyboard again; bass zoom greyed but still pressed
    EXPECT_FALSE(enabled(MainWindow::BassZoom));
    EXPECT_TRUE(pressed(MainWindow::BassZoom));
    EXPECT_EQ(shown().pixel(193, 85), kYellow); // A4
    press(MainWindow::Note);
    EXPECT_TRUE(enabled(MainWindow::BassZoom) && pressed(MainWindow::BassZoom));
    EXPECT_EQ(bass_zoom(), 2);
    EXPECT_EQ(shown().copy(0, 80, 352, 12), zoomed.copy(0, 80, 352, 12));
}

TEST_F(MainWindowTest, ScopeSwitchesLowerPaneWithoutClearingEither) {
    open();
    play(440.0, 9);
    const QImage scope = shown();
    press(MainWindow::Scope);
    EXPECT_EQ(view_flags(), 1u);
    const QImage spectrogram = shown();
    EXPECT_EQ(spectrogram.copy(0, 0, 352, 92), scope.copy(0, 0, 352, 92));
    EXPECT_NE(spectrogram.copy(0, 92, 352, 80), scope.copy(0, 92, 352, 80));
    EXPECT_TRUE(anyLit(spectrogram, 92, 101)); // the newest rows at the top
    press(MainWindow::Scope);
    EXPECT_EQ(shown(), scope);
}

TEST_F(MainWindowTest, SizeTogglesBetweenPixelForPixelAndEveryPixelDoubled) {
    open();
    play(440.0, 9);
    const QImage single = shown();
    const int toolBarHeight = window->height() - 172 - 2 * kEdge;
    press(MainWindow::Size);
    EXPECT_EQ(window->size(), QSize(704 + 2 * kEdge, toolBarHeight + 344 + 2 * kEdge));
    EXPECT_EQ(shown(), single.scaled(704, 344)); // fast scaling replicates pixels
    press(MainWindow::Size);
    EXPECT_EQ(window->size(), QSize(352 + 2 * kEdge, toolBarHeight + 172 + 2 * kEdge));

    press(MainWindow::Size); // 2x, then maximised: the size button brings back 1x
    window->showMaximized();
    settle();
    ASSERT_TRUE(window->isMaximized());
    press(MainWindow::Size);
    EXPECT_FALSE(window->isMaximized());
    EXPECT_EQ(window->size(), QSize(352 + 2 * kEdge, toolBarHeight + 172 + 2 * kEdge));
}

TEST_F(MainWindowTest, PictureKeepsMovingWhileAboutBoxIsOpen) {
    open();
    play(440.0, 9);
    int barWhileOpen = -1;
    QTimer::singleShot(0, [&] {
        play(1000.0, 9);
        barWhileOpen = tallestBar(shown());
        QApplication::activeModalWidget()->close();
    });
    press(MainWindow::About);
    EXPECT_EQ(barWhileOpen, 62);
}

TEST_F(MainWindowTest, MixerIsGreyWithoutOneAndStartsPavucontrolOnInputs) {
    const QByteArray path = qgetenv("PATH");
    QTemporaryDir bin;
    qputenv("PATH", bin.path().toLocal8Bit());
    open();
    EXPECT_FALSE(enabled(MainWindow::Mixer));
    window.reset();

    QFile mixer(bin.filePath(QStringLiteral("pavucontrol")));
    ASSERT_TRUE(mixer.open(QIODevice::WriteOnly));
    mixer.write("#!/bin/sh\necho \"$@\" > \"$0.args\"\n");
    mixer.close();
    mixer.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    open();
    qputenv("PATH", path);
    ASSERT_TRUE(enabled(MainWindow::Mixer));
    press(MainWindow::Mixer);
    QFile args(mixer.fileName() + QStringLiteral(".args"));
    for (int i = 0; i < 100 && !args.exists(); ++i) {
        QThread::msleep(20);
    }
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(args.readAll().trimmed(), QByteArray("--tab=4"));
}

} // namespace
