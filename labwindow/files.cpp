#include "labwindow/files.h"

#include <QBuffer>
#include <QByteArray>

#include "choices/ber_table.h"
#include "console/output_file.h"

namespace labwindow {
namespace {

QString Failure(const console::OutputFile& file, const std::string& why) {
    return QStringLiteral("cannot write %1: %2")
        .arg(QString::fromStdString(file.Shown()), QString::fromStdString(why));
}

QString Finish(console::OutputFile& file) {
    if (!(file.Finish() && file.Commit())) return Failure(file, file.error());
    return {};
}

} // namespace

QString SavePng(const QImage& image, const QString& path) {
    console::OutputFile file;
    if (!file.Open(path.toStdString())) return Failure(file, file.error());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return Failure(file, "PNG encoding failed");
    const auto size = static_cast<std::size_t>(bytes.size());
    std::fwrite(bytes.constData(), 1, size, file.get());
    return Finish(file);
}

QString SaveSweepCsv(const choices::ChannelChoice& choice,
                     const std::vector<engine::BerPoint>& points, const QString& path) {
    console::OutputFile file;
    if (!file.Open(path.toStdString())) return Failure(file, file.error());
    choices::WriteBerCsv(file.get(), choice, points);
    return Finish(file);
}

} // namespace labwindow
