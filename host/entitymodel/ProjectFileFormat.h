#pragma once
// What the project file reader (ProjectFile) and writer (EntitySaver) agree on.
#include <QDir>
#include <QFileInfo>
#include <QString>

#include <charconv>
#include <cmath>
#include <string>

namespace EntityModel::ProjectFileFormat
{
inline constexpr const char* formatName = "ConfluxTool project";
inline constexpr int version = 1;

/// How many reads so far were left to the whole-document reader (files of unusual layout and refused
/// files; well-formed files are read entity by entity). Tests watch it to keep the common case quick.
int wholeDocumentReads();

/// The shortest text that reads back as the same double; JSON has no non-finite numbers, so those
/// are written as the texts "NaN", "Infinity" and "-Infinity".
inline std::string number(double value)
{
    if (std::isnan(value))
        return "\"NaN\"";
    if (std::isinf(value))
        return value > 0 ? "\"Infinity\"" : "\"-Infinity\"";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

/// The folder relative file names in a file are read against (empty without a file name).
inline QString anchorFolder(const QString& fileName)
{
    return fileName.isEmpty() ? QString() : QFileInfo(fileName).absolutePath();
}

/// A file name as the model holds it: relative names are made absolute against the anchor.
inline std::string toModelPath(const std::string& stored, const QString& anchor)
{
    const QString path = QString::fromStdString(stored);
    if (stored.empty() || anchor.isEmpty() || !QFileInfo(path).isRelative())
        return stored;
    return QDir::cleanPath(QDir(anchor).filePath(path)).toStdString();
}

/// A file name as a file stores it: relative to the anchor when it lies below it.
inline std::string toStoredPath(const std::string& modelPath, const QString& anchor)
{
    const QString path = QString::fromStdString(modelPath);
    if (modelPath.empty() || anchor.isEmpty() || QFileInfo(path).isRelative())
        return modelPath;
    const QString relative = QDir(anchor).relativeFilePath(path);
    return relative.startsWith("..") ? modelPath : relative.toStdString();
}
} // namespace EntityModel::ProjectFileFormat
