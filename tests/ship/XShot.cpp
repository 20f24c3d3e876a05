// Reads the X screen for the window tests, as a user's eyes would: what is drawn, not what the
// program's objects hold.
//   xshot png OUT [X Y W H]     picture of the screen, or of one rectangle of it
//   xshot ink X Y W H           number of dark pixels (text, lines) in the rectangle
//   xshot colour X Y W H        the most frequent colour of the rectangle, as #rrggbb
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

QImage Grab(int x, int y, int w, int h) {
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, x, y, w, h)
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc < 2 || QGuiApplication::primaryScreen() == nullptr)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    int r[4] = {0, 0, -1, -1};
    const int first = mode == QLatin1String("png") ? 3 : 2;
    for (int i = 0; i < 4 && first + i < argc; ++i)
        r[i] = std::atoi(argv[first + i]);
    const QImage image = Grab(r[0], r[1], r[2], r[3]);
    if (mode == QLatin1String("png") && argc >= 3)
        return image.save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
    if (mode == QLatin1String("ink")) {
        long dark = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                dark += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
        std::printf("%ld\n", dark);
        return 0;
    }
    if (mode == QLatin1String("colour")) {
        std::map<QRgb, long> counts;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ++counts[image.pixel(x, y) & 0xffffffu];
        QRgb best = 0;
        long most = -1;
        for (const auto& [colour, count] : counts)
            if (count > most) {
                best = colour;
                most = count;
            }
        std::printf("#%02x%02x%02x\n", qRed(best), qGreen(best), qBlue(best));
        return 0;
    }
    return 2;
}
