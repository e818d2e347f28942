#include "about_dialog.h"
#include "main_window.h"

#include "capture/tests/fake_wave_input.h"
#include "engine/frame.h"
#include "engine/readout.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHelpEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolTip>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <string>

namespace {

// Whether rows [top, bottom) of the picture hold anything but black.
bool lit(const QImage &picture, int top, int bottom) {
    QImage black(352, bottom - top, QImage::Format_RGB32);
    black.fill(Qt::black);
    return picture.copy(0, top, 352, bottom - top) != black;
}

int pixelsOf(QWidget *widget, QRgb colour) {
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const auto *pixels = reinterpret_cast<const QRgb *>(image.constBits());
    return static_cast<int>(std::count(pixels, pixels + image.width() * image.height(), colour));
}

// The window opens the device from its event loop, so a test may make the first open fail
// before its first wait.
class MainWindowTest : public testing::Test {
  protected:
    // Ten blocks of a sine, each handled by the window before the next arrives (the first is
    // refused when the window has not opened the device yet).
    void play(double hz) {
        device.set_fill([this, hz](std::int16_t *samples, int count) {
            for (int i = 0; i < count; ++i, phase += 2.0 * M_PI * hz / 22050.0)
                samples[i] = static_cast<std::int16_t>(16000.0 * std::sin(phase));
        });
        for (int i = 0; i < 10; ++i)
            device.deliver(), QTest::qWait(1);
    }
    QAction *item(MainWindow::Command command) { return window.action(command); }
    // The pause button and the device: "pressed" or "released", then "started", "open" or
    // "closed".
    std::string state() {
        return std::string(item(MainWindow::Pause)->isChecked() ? "pressed " : "released ") +
               (device.is_started() ? "started"
                : device.is_open()  ? "open"
                                    : "closed");
    }
    // The picture as the window shows it: the view's pixels inside the 2-pixel sunken edge.
    QImage shown() {
        const QImage all = window.view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        return all.copy(2, 2, all.width() - 4, all.height() - 4);
    }
    FakeWaveInput device;
    double phase = 0.0;
    MainWindow window;
};

// The texts (title, tooltips) are checked end to end, on the running program.
TEST_F(MainWindowTest, StartsAtOneXCapturingInNoteAndScopeModeWithTheKeyboard) {
    QTest::qWait(1);
    std::string buttons; // topmost, pause | scope, note, bass zoom | size, mixer, About
    for (const QAction *entry : window.toolBar()->actions())
        buttons += entry->isSeparator() ? '|' : entry->isEnabled() ? "-*"[entry->isChecked()] : '~';
    EXPECT_EQ(buttons, "--|**~|-~-"); // * pressed, ~ greyed (no mixer on the empty PATH)
    EXPECT_EQ(view_flags(), 3u);
    EXPECT_EQ(state(), "released started");
    const QImage picture = shown();
    ASSERT_EQ(picture.size(), QSize(352, 172));
    EXPECT_FALSE(lit(picture, 0, 80));
    EXPECT_FALSE(lit(picture, 92, 172));
    EXPECT_EQ(picture.pixel(5, 85), qRgb(64, 64, 64));     // A#0
    EXPECT_EQ(picture.pixel(3, 85), qRgb(0, 0, 0));        // between keys
    EXPECT_EQ(picture.pixel(13, 85), qRgb(255, 255, 255)); // C1
    EXPECT_EQ(picture.pixel(349, 91), qRgb(255, 255, 0));  // C8
}

TEST_F(MainWindowTest, PauseFreezesThePictureAndTheAboutBoxDoesNot) {
    play(440.0);
    const QImage playing = shown();
    item(MainWindow::Pause)->trigger();
    EXPECT_EQ(state(), "pressed closed");
    QTest::qWait(1);
    EXPECT_EQ(shown(), playing);
    item(MainWindow::Pause)->trigger();
    QTimer::singleShot(0, [&] { // the picture keeps moving under the About box
        play(1000.0);
        EXPECT_NE(shown(), playing);
        QApplication::activeModalWidget()->close();
    });
    item(MainWindow::About)->trigger();
}

TEST_F(MainWindowTest, CaptureThatFailsOrStopsByItselfShowsPausedAndOneClickResumes) {
    device.fail("open", 1); // no device at start-up
    QTest::qWait(1);
    EXPECT_EQ(state(), "pressed closed");
    item(MainWindow::Pause)->trigger(); // a release tries again
    ASSERT_EQ(state(), "released started");
    // The device fails while recording: the buffer that arrived cannot go back.
    device.fail("add", device.count("add") + 1);
    device.deliver();
    QTest::qWait(1);
    EXPECT_EQ(state(), "pressed closed");
    item(MainWindow::Pause)->trigger(); // one click retries
    EXPECT_EQ(state(), "released started");
    play(440.0);
    EXPECT_TRUE(lit(shown(), 0, 80));
    EXPECT_EQ(state(), "released started");

    // Three buffers waiting: the first is analysed, the second cannot go back in the drain.
    device.fail("add", device.count("add") + 2);
    for (int i = 0; i < 3; ++i)
        device.deliver();
    QTest::qWait(1);
    EXPECT_EQ(state(), "pressed closed");

    // The device opens but will not start.
    device.fail("start", device.count("start") + 1);
    item(MainWindow::Pause)->trigger();
    EXPECT_EQ(state(), "pressed closed");
    item(MainWindow::Pause)->trigger();
    EXPECT_EQ(state(), "released started");
}

TEST_F(MainWindowTest, NoteBassZoomAndScopeRedrawTheirOwnPanesOnly) {
    play(440.0);
    const QImage scope = shown();
    item(MainWindow::Scope)->trigger(); // the spectrogram, newest rows at the top
    const QImage spectrogram = shown();
    EXPECT_EQ(spectrogram.copy(0, 0, 352, 92), scope.copy(0, 0, 352, 92));
    EXPECT_TRUE(lit(spectrogram, 92, 101));
    EXPECT_NE(spectrogram, scope);

    item(MainWindow::Note)->trigger(); // linear scale: labels on grey, no bars, zoom usable
    const QImage linear = shown();
    EXPECT_TRUE(item(MainWindow::BassZoom)->isEnabled());
    EXPECT_FALSE(lit(linear, 0, 80));
    EXPECT_EQ(linear.copy(0, 92, 352, 80), spectrogram.copy(0, 92, 352, 80));
    EXPECT_EQ(linear.pixel(351, 91), qRgb(192, 192, 192));

    item(MainWindow::BassZoom)->trigger(); // centre and right labels change, the left not
    const QImage zoomed = shown();
    EXPECT_EQ(bass_zoom(), 2);
    EXPECT_EQ(zoomed.copy(0, 80, 40, 12), linear.copy(0, 80, 40, 12));
    EXPECT_NE(zoomed.copy(150, 80, 52, 12), linear.copy(150, 80, 52, 12));
    EXPECT_NE(zoomed.copy(290, 80, 62, 12), linear.copy(290, 80, 62, 12));

    item(MainWindow::Note)->trigger(); // keyboard again; bass zoom greyed but still pressed
    EXPECT_FALSE(item(MainWindow::BassZoom)->isEnabled());
    EXPECT_TRUE(item(MainWindow::BassZoom)->isChecked());
    EXPECT_EQ(shown().pixel(193, 85), qRgb(255, 255, 0)); // A4
    item(MainWindow::Note)->trigger();
    item(MainWindow::Scope)->trigger();
    EXPECT_EQ(shown().copy(0, 80, 352, 12), zoomed.copy(0, 80, 352, 12));
    EXPECT_EQ(shown().copy(0, 92, 352, 80), scope.copy(0, 92, 352, 80));
}

TEST_F(MainWindowTest, SizeTogglesOneXAndTwoXAndAMaximisedWindowComesBackAtOneX) {
    play(440.0);
    const QImage single = shown();
    const QSize oneX = window.size();
    item(MainWindow::Size)->trigger();
    EXPECT_EQ(window.size(), oneX + QSize(352, 172));
    EXPECT_EQ(shown(), single.scaled(704, 344)); // fast scaling replicates pixels
    item(MainWindow::Size)->trigger();
    EXPECT_EQ(window.size(), oneX);
    window.showMaximized();
    item(MainWindow::Size)->trigger();
    EXPECT_EQ(window.size(), oneX);
}

// Stand-ins for the mixers: each records its pid, name and arguments, then sleeps, so a
// command that waited for the program would not return while it runs.
TEST(Mixer, FirstFoundOfTheMixersAndDesktopSettingsStartsWithoutWaiting) {
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    const QString ran = bin.filePath(QStringLiteral("ran"));
    const QString stand_in = QStringLiteral("#!/bin/sh\necho \"$$ ${0##*/} $*\" >%1.part\n"
                                            "/bin/mv %1.part %1\nexec /bin/sleep 30\n");
    const QStringList order = {"pavucontrol --tab=4", "pavucontrol-qt",
                               "gnome-control-center sound", "systemsettings kcm_pulseaudio"};
    for (const QString &expected : order) {
        QFile script(bin.filePath(expected.section(QLatin1Char(' '), 0, 0)));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(stand_in.arg(ran).toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    qputenv("PATH", QFile::encodeName(bin.path()));
    for (const QString &expected : order) {
        SCOPED_TRACE(expected.toStdString());
        {
            FakeWaveInput device;
            MainWindow window;
            window.action(MainWindow::Mixer)->trigger();
            ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(ran); }, 5000));
            QFile record(ran);
            ASSERT_TRUE(record.open(QIODevice::ReadOnly));
            const QString line = QString::fromUtf8(record.readAll()).trimmed(); // pid name args
            const pid_t pid = line.section(QLatin1Char(' '), 0, 0).toInt();
            EXPECT_EQ(line.section(QLatin1Char(' '), 1), expected);
            EXPECT_EQ(::kill(pid, 0), 0) << "the command waited for the mixer";
            ::kill(pid, SIGKILL);
        }
        QFile::remove(ran);
        QFile::remove(bin.filePath(expected.section(QLatin1Char(' '), 0, 0)));
    }
    qputenv("PATH", ""); // none found: greyed, as every other test's window shows
}

// The texts are checked end to end, on the running program.
TEST(AboutDialog, LinkColoursAndKeys) {
    AboutDialog box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
    EXPECT_GT(pixelsOf(box.link(), qRgb(0, 0, 255)), 100); // the glyphs and the underline
    box.link()->setDown(true);
    EXPECT_GT(pixelsOf(box.link(), qRgb(255, 0, 0)), 100);
    EXPECT_EQ(pixelsOf(box.link(), qRgb(0, 0, 255)), 0);

    QTest::keyClick(box.okButton(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), box.okButton()); // the link is mouse-only
    QTest::keyClick(&box, Qt::Key_Escape);
    EXPECT_FALSE(box.isVisible());
    box.show();
    QTest::keyClick(&box, Qt::Key_Return); // OK is the default button
    EXPECT_TRUE(box.okButton()->isDefault());
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

// The pointer's readout: the band from the engine's tables under the pointer at any size,
// shown as a tooltip when the pointer rests; the picture itself stays as it was.
TEST_F(MainWindowTest, ReadoutNamesTheBandUnderThePointerFromTheBandTables) {
    play(440.0);
    int scale = 1;
    const auto at = [&](int x, int y) { return QPoint(2 + scale * x, 2 + scale * y); };
    const auto readout = [&](int x, int y) { // a picture pixel, inside the 2-pixel edge
        return window.view()->readoutAt(at(x, y)).toStdString();
    };
    const QImage before = shown();
    const std::string a4 = readout(193, 40);
    EXPECT_EQ(a4.rfind("A4 440.0 Hz, ", 0), 0u) << a4;
    QHelpEvent rest(QEvent::ToolTip, at(193, 40), window.view()->mapToGlobal(at(193, 40)));
    QApplication::sendEvent(window.view(), &rest);
    EXPECT_EQ(QToolTip::text().toStdString(), a4);
    EXPECT_EQ(readout(193, 85), "A4") << "the keyboard strip";
    EXPECT_EQ(readout(193, 130), "") << "the scope trace has no bands";
    EXPECT_EQ(shown(), before);
    item(MainWindow::Size)->trigger();
    scale = 2;
    EXPECT_EQ(readout(193, 40), a4) << "at 2x";

    item(MainWindow::Note)->trigger(); // linear scale, spectrogram below, bass zoomed
    item(MainWindow::Scope)->trigger();
    item(MainWindow::BassZoom)->trigger();
    for (int band : {0, 30, 87}) // the engine's text for the band at this zoom
        EXPECT_EQ(readout(4 * band + 1, 130), band_frequency_text(0, 2, band)) << "band " << band;
    EXPECT_EQ(readout(100, 85), "") << "the frequency labels speak for themselves";
}

} // namespace

int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen"); // widget tests need no display
    qputenv("PATH", "");                     // no mixer found: its button is grey everywhere
    // Without a runtime directory Qt would make one of a fixed name in the shared /tmp.
    const QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    build_analysis_tables();
    return RUN_ALL_TESTS();
}
