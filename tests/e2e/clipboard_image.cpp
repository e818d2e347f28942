// Writes the image on the X clipboard, as the PNG a paste target takes, to a file.
// Usage: clipboard_image FILE. Exits 1 when the clipboard offers no PNG image.
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>

int main(int argc, char *argv[]) {
    QGuiApplication app(argc, argv);
    const QMimeData *offered = QGuiApplication::clipboard()->mimeData();
    const QByteArray png = offered ? offered->data(QStringLiteral("image/png")) : QByteArray();
    QFile out(argc == 2 ? QFile::decodeName(argv[1]) : QString()); // no name: cannot open
    const bool written =
        png.startsWith("\x89PNG") && out.open(QIODevice::WriteOnly) && out.write(png) == png.size();
    return written && out.flush() ? 0 : 1;
}
