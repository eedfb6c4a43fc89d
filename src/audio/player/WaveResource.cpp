#include "audio/player/WaveResource.h"

#include "audio/player/MemoryStream.h"

#include <QDir>
#include <QFile>

// The resources live in a static library: referencing their initialiser
// keeps the linker from dropping them.
static void initPlayerResources() {
    Q_INIT_RESOURCE(PlayerResources);
}

namespace tavora {

namespace audio {

namespace {

// The entry of `dir` whose name equals `name` without regard to case.
QString findEntry(const QDir& dir, const QString& name, QDir::Filters filters) {
    for (const QString& entry : dir.entryList(filters)) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    }
    return {};
}

} // namespace

std::unique_ptr<QIODevice> openResourceStream(const QString& name, const QString& type) {
    initPlayerResources();
    // Resources are laid out as :/<TYPE>/<NAME>.
    const QString typeDir = findEntry(QDir(QStringLiteral(":/")), type, QDir::Dirs);
    const QString path = typeDir.isEmpty() ? QString() : findEntry(QDir(typeDir), name, QDir::Files);
    if (path.isEmpty())
        throw ResNotFoundError("Resource " + name.toStdString() + " not found");
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        throw ResNotFoundError("Resource " + name.toStdString() + " not found");
    return file;
}

void MemoryStream::loadFromStream(QIODevice& device) {
    if (!device.isOpen() || device.isSequential() || !device.seek(0))
        throw StreamError("Stream read error");
    const qint64 count = device.size();
    if (count < 0)
        throw StreamError("Stream read error");
    setSize(static_cast<size_t>(count));
    position_ = 0;
    qint64 done = 0;
    while (done < count) {
        const qint64 n = device.read(reinterpret_cast<char*>(memory_) + done, count - done);
        if (n <= 0)
            throw StreamError("Stream read error");
        done += n;
    }
}

} // namespace audio

} // namespace tavora
