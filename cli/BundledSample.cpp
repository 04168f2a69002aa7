#include "cli/BundledSample.h"

#include <QDir>
#include <QFileInfo>

namespace ConfluxCli
{
namespace
{
const char* const sampleName = "sample-datacentre.json";

/// The folder of the running program, read from the process itself rather than argv[0], which
/// may be a bare name found on PATH.
QString programFolder()
{
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath();
}
} // namespace

std::string bundledSample()
{
    const QStringList candidates{
        QDir(programFolder()).filePath(QStringLiteral("../share/confluxtool/examples/") + sampleName),
        QStringLiteral(CONFLUX_EXAMPLES_DIR "/") + sampleName,
    };
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isFile())
            return QDir::cleanPath(QFileInfo(candidate).absoluteFilePath()).toStdString();
    return {};
}
} // namespace ConfluxCli
