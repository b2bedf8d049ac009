// xqt-mkicons ICON OUTDIR SIZE...: writes OUTDIR/<SIZE>.png for each size from the program's own
// icon, for the desktop's icon theme. The icon is pixel art, so enlargements keep hard edges; only
// reductions smooth.
#include <QImage>
#include <QString>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: xqt-mkicons ICON OUTDIR SIZE...\n");
        return 2;
    }
    const QImage icon(QString::fromLocal8Bit(argv[1]));
    if (icon.isNull()) {
        std::fprintf(stderr, "xqt-mkicons: cannot read %s\n", argv[1]);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0) {
            std::fprintf(stderr, "xqt-mkicons: not a size: %s\n", argv[i]);
            return 2;
        }
        const Qt::TransformationMode mode =
            size >= icon.width() ? Qt::FastTransformation : Qt::SmoothTransformation;
        const QImage scaled =
            icon.convertToFormat(QImage::Format_ARGB32).scaled(size, size, Qt::IgnoreAspectRatio, mode);
        const QString path = QString::fromLocal8Bit(argv[2]) + "/" + QString::number(size) + ".png";
        if (!scaled.save(path, "PNG")) {
            std::fprintf(stderr, "xqt-mkicons: cannot write %s\n", path.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
