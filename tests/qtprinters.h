#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>
#include <ostream>

// Readable failure messages for the Qt values these tests compare. They live in the global
// namespace, where argument-dependent lookup finds them for Qt's types.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray &bytes, std::ostream *out)
{
    *out << '"' << bytes.toStdString() << '"';
}

inline void PrintTo(const QJsonValue &value, std::ostream *out)
{
    const QJsonDocument document(QJsonArray { value });
    *out << document.toJson(QJsonDocument::Compact).toStdString();
}

inline void PrintTo(const QJsonObject &object, std::ostream *out)
{
    *out << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}
