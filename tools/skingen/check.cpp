// Compares the pixel sizes of freshly generated skin images with the committed
// ones: every generated file must exist in the committed folder with the same
// width and height, and the committed folder must hold no extra JPEG.
#include <QCoreApplication>
#include <QDir>
#include <QImageReader>
#include <QSize>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s GENERATED_DIR COMMITTED_DIR\n", argv[0]);
        return 2;
    }
    const QDir generated(QString::fromLocal8Bit(argv[1]));
    const QDir committed(QString::fromLocal8Bit(argv[2]));
    const QStringList genFiles = generated.entryList({"*.jpg"}, QDir::Files, QDir::Name);
    const QStringList refFiles = committed.entryList({"*.jpg"}, QDir::Files, QDir::Name);
    int failures = 0;
    if (genFiles.isEmpty()) {
        std::fprintf(stderr, "no generated images in %s\n", argv[1]);
        return 1;
    }
    if (genFiles != refFiles) {
        std::fprintf(stderr, "file lists differ: %lld generated, %lld committed\n",
                     static_cast<long long>(genFiles.size()), static_cast<long long>(refFiles.size()));
        ++failures;
    }
    for (const QString& name : genFiles) {
        const QSize g = QImageReader(generated.filePath(name)).size();
        const QSize r = QImageReader(committed.filePath(name)).size();
        if (!g.isValid() || g != r) {
            std::fprintf(stderr, "%s: generated %dx%d, committed %dx%d\n", qPrintable(name),
                         g.width(), g.height(), r.width(), r.height());
            ++failures;
        }
    }
    std::printf("%lld images checked, %d mismatches\n", static_cast<long long>(genFiles.size()), failures);
    return failures == 0 ? 0 : 1;
}
