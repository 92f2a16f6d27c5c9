#include "rawjson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QString>

#include <cctype>

namespace corvane {

namespace {

bool isJsonSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

class Scanner
{
public:
    explicit Scanner(QByteArrayView text)
        : m_text(text)
    { }

    bool atEnd() const { return m_position >= m_text.size(); }
    char current() const { return atEnd() ? '\0' : m_text[m_position]; }
    qsizetype position() const { return m_position; }
    void advance() { ++m_position; }

    void skipSpace()
    {
        while (!atEnd() && isJsonSpace(current()))
            ++m_position;
    }

    // Steps over a string starting at the opening quote; false when it never closes.
    bool skipString()
    {
        ++m_position;
        while (!atEnd()) {
            const char c = current();
            if (c == '\\') {
                m_position += 2;
            } else {
                ++m_position;
                if (c == '"')
                    return true;
            }
        }
        return false;
    }

    // Steps over any value, counting brackets instead of recursing so that deep nesting
    // costs no stack.
    bool skipValue()
    {
        const char first = current();
        if (first == '"')
            return skipString();
        if (first != '{' && first != '[') {
            while (!atEnd() && !isJsonSpace(current()) && current() != ',' && current() != '}'
                && current() != ']')
                ++m_position;
            return true;
        }
        qsizetype depth = 0;
        while (!atEnd()) {
            const char c = current();
            if (c == '"') {
                if (!skipString())
                    return false;
                continue;
            }
            ++m_position;
            if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                if (--depth == 0)
                    return true;
            }
        }
        return false;
    }

private:
    QByteArrayView m_text;
    qsizetype m_position = 0;
};

bool keyTokenEquals(QByteArrayView token, QStringView key)
{
    const QByteArrayView inner = token.sliced(1, token.size() - 2);
    if (!inner.contains('\\'))
        return inner == key.toUtf8();
    // Escaped keys are rare; let the parser decode them.
    const QByteArray wrapped = '[' + token.toByteArray() + ']';
    return QJsonDocument::fromJson(wrapped).array().at(0).toString() == key;
}

QByteArray withoutSpace(QByteArrayView value)
{
    QByteArray compact;
    compact.reserve(value.size());
    bool inString = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (inString) {
            compact.append(c);
            if (c == '\\' && i + 1 < value.size())
                compact.append(value[++i]);
            else if (c == '"')
                inString = false;
        } else if (!isJsonSpace(c)) {
            compact.append(c);
            inString = c == '"';
        }
    }
    return compact;
}

} // namespace

std::optional<QByteArray> rawJsonMember(QByteArrayView objectText, QStringView key)
{
    Scanner scanner(objectText);
    scanner.skipSpace();
    if (scanner.current() != '{')
        return std::nullopt;
    scanner.advance();
    std::optional<QByteArrayView> found;
    while (true) {
        scanner.skipSpace();
        if (scanner.current() != '"')
            break;
        const qsizetype keyStart = scanner.position();
        if (!scanner.skipString())
            return std::nullopt;
        const QByteArrayView keyToken = objectText.sliced(keyStart, scanner.position() - keyStart);
        scanner.skipSpace();
        if (scanner.current() != ':')
            return std::nullopt;
        scanner.advance();
        scanner.skipSpace();
        const qsizetype valueStart = scanner.position();
        if (scanner.atEnd() || !scanner.skipValue())
            return std::nullopt;
        if (keyTokenEquals(keyToken, key))
            found = objectText.sliced(valueStart, scanner.position() - valueStart);
        scanner.skipSpace();
        if (scanner.current() != ',')
            break;
        scanner.advance();
    }
    if (!found)
        return std::nullopt;
    return withoutSpace(*found);
}

bool containsForbiddenJsonCharacter(QByteArrayView text)
{
    static constexpr QByteArrayView simpleEscapes = "\"\\/bfnrt";
    bool inString = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) < 0x20 && (inString || !isJsonSpace(c)))
            return true;
        if (inString && c == '\\') {
            if (++i == text.size())
                return true;
            const char escaped = text[i];
            if (escaped == 'u') {
                if (i + 4 >= text.size())
                    return true;
                for (qsizetype digit = 1; digit <= 4; ++digit) {
                    if (!std::isxdigit(static_cast<unsigned char>(text[i + digit])))
                        return true;
                }
                i += 4;
            } else if (!simpleEscapes.contains(escaped)) {
                return true;
            }
        } else if (c == '"') {
            inString = !inString;
        }
    }
    return false;
}

} // namespace corvane
