// Times loading settings files of 10,000 to 160,000 lines (shared folders in
// one key, and as many keys of one value each) and prints the time per line
// and the ratio of each size's time to the one half its size: about 2 when
// loading is linear, about 4 when it is quadratic.
// Build in Release and run: build-bench/bench/bench_settings_load
#include "settings/RegistryStore.h"
#include "settings/RegistryText.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>

namespace {

QByteArray settingsText(int lines, bool keyPerLine) {
    QList<RegistryKeys::Key> keys;
    if (!keyPerLine)
        keys.append(
            RegistryKeys::Key{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Pocketlane\\SharedFolders", {}});
    for (int i = 0; i < lines; ++i) {
        const QByteArray folder = "/home/owner/shared/folder number " + QByteArray::number(i);
        if (keyPerLine)
            keys.append(RegistryKeys::Key{
                "HKEY_LOCAL_MACHINE\\SOFTWARE\\Key " + QByteArray::number(i), {}});
        keys.last().values.append({folder, {}, false});
    }
    return RegistryText::serialize(keys);
}

double loadMilliseconds(const QString& path) {
    double best = 1e300;
    for (int round = 0; round < 3; ++round) {
        RegistryStore store(path);
        const auto start = std::chrono::steady_clock::now();
        store.load(nullptr);
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.reg"));
    for (const bool keyPerLine : {false, true}) {
        std::printf("%s\n%8s %10s %12s %8s\n",
                    keyPerLine ? "one key per line" : "one key, a value per line", "lines", "ms",
                    "us per line", "ratio");
        double previous = 0;
        for (int lines = 10000; lines <= 160000; lines *= 2) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return 1;
            file.write(settingsText(lines, keyPerLine));
            file.close();
            const double ms = loadMilliseconds(path);
            std::printf("%8d %10.1f %12.3f %8.2f\n", lines, ms, ms * 1000 / lines,
                        previous > 0 ? ms / previous : 0.0);
            previous = ms;
        }
    }
    return 0;
}
