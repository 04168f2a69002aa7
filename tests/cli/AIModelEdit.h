#pragma once
// Test support for the command tests: a project file rewritten with its AI models' attributes
// changed, so that a test can run a command on a variant of the sample.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace CliTest
{
/// Writes the project file at `from` to `to` with `edit` applied to the attributes of each of its
/// AI Model entities (`to` may be `from`); false when either file cannot be opened.
template <typename Edit> bool rewriteAIModels(const QString& from, const QString& to, Edit&& edit)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QJsonObject document = QJsonDocument::fromJson(in.readAll()).object();
    in.close();
    QJsonArray entities = document["entities"].toArray();
    for (int i = 0; i < entities.size(); ++i)
    {
        QJsonObject entity = entities[i].toObject();
        if (entity["type"].toString() != "AI Model")
            continue;
        QJsonObject attributes = entity["attributes"].toObject();
        edit(attributes);
        entity["attributes"] = attributes;
        entities[i] = entity;
    }
    document["entities"] = entities;
    QFile out(to);
    return out.open(QIODevice::WriteOnly) && out.write(QJsonDocument(document).toJson()) > 0;
}
} // namespace CliTest
