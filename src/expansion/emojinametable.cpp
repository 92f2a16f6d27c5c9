#include "emojinametable.h"

#include "common/graphemes.h"
#include "common/logging.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <memory>

namespace corvane {

namespace {

struct ScalarRange
{
    char32_t first;
    char32_t last;
};

// Walked in this order, so that where two emoji share a name the one found first keeps it.
constexpr ScalarRange emojiRanges[] = {
    { 0x1F300, 0x1FAFF },
    { 0x1F000, 0x1F2FF },
    { 0x2600, 0x27BF },
    { 0x2B00, 0x2BFF },
    { 0x2190, 0x21FF },
    { 0x2300, 0x23FF },
};

bool isScalar(char32_t value)
{
    return value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
}

// Creating a transliterator compiles its rules, far slower than using one; and one instance
// must not be used by two threads at once, so each thread keeps its own.
icu::Transliterator *nameTransliterator()
{
    thread_local std::unique_ptr<icu::Transliterator> transliterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> created(icu::Transliterator::createInstance(
            icu::UnicodeString(u"Any-Name"), UTRANS_FORWARD, status));
        if (U_FAILURE(status)) {
            qCWarning(lcExpansion)
                << "Could not create the Unicode name transform:" << u_errorName(status);
            return std::unique_ptr<icu::Transliterator>();
        }
        return created;
    }();
    return transliterator.get();
}

} // namespace

EmojiNameTable::EmojiNameTable(Builder builder)
    : m_builder(std::move(builder))
{ }

EmojiNameTable::~EmojiNameTable()
{
    const std::lock_guard lock(m_warmUpMutex);
    if (m_warmUp.joinable())
        m_warmUp.join();
}

void EmojiNameTable::warmUp()
{
    const std::lock_guard lock(m_warmUpMutex);
    if (m_warmUp.joinable())
        return;
    m_warmUp = std::thread([this] { table(); });
}

const EmojiNameTable::Table &EmojiNameTable::table()
{
    // call_once makes every concurrent caller wait until the one build has finished.
    std::call_once(m_built, [this] { m_table = m_builder(); });
    return m_table;
}

EmojiNameTable &EmojiNameTable::shared()
{
    // Destroyed at exit after main has returned, waiting for a build still running then.
    static EmojiNameTable instance(
        [] { return buildEmojiNameTable(QStringLiteral(":/EmojiShortcodes.json")); });
    return instance;
}

std::optional<QString> emojiName(char32_t scalar)
{
    if (!isScalar(scalar))
        return std::nullopt;
    icu::Transliterator *transliterator = nameTransliterator();
    if (!transliterator)
        return std::nullopt;
    icu::UnicodeString text(static_cast<UChar32>(scalar));
    transliterator->transliterate(text);
    const QString result(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
    // The transform gives \N{NAME}. A code point without a character name (unassigned,
    // private use, a control) gets a label in angle brackets instead, which is no name.
    const QLatin1StringView opening("\\N{");
    if (!result.startsWith(opening) || !result.endsWith(QLatin1Char('}'))
        || result.size() < opening.size() + 1 || result.at(opening.size()) == QLatin1Char('<'))
        return std::nullopt;
    const QString name
        = result.sliced(opening.size(), result.size() - opening.size() - 1).toLower();

    QString joined;
    joined.reserve(name.size());
    bool pendingSeparator = false;
    for (const QChar c : name) {
        if (!c.isLetterOrNumber()) {
            pendingSeparator = !joined.isEmpty();
            continue;
        }
        if (pendingSeparator)
            joined += QLatin1Char('_');
        pendingSeparator = false;
        joined += c;
    }
    if (joined.isEmpty())
        return std::nullopt;
    return joined;
}

EmojiNameTable::Table buildEmojiNameTable(const QString &shortcodesPath)
{
    EmojiNameTable::Table table;
    for (const ScalarRange &range : emojiRanges) {
        for (char32_t scalar = range.first; scalar <= range.last; ++scalar) {
            if (!isScalar(scalar)
                || !u_hasBinaryProperty(UChar32(scalar), UCHAR_EMOJI_PRESENTATION))
                continue;
            const std::optional<QString> name = emojiName(scalar);
            if (name && !table.contains(*name))
                table.insert(*name, QString::fromUcs4(&scalar, 1));
        }
    }
    const EmojiNameTable::Table shortcodes = loadEmojiShortcodes(shortcodesPath);
    for (auto it = shortcodes.cbegin(); it != shortcodes.cend(); ++it)
        table.insert(it.key(), it.value());
    return table;
}

EmojiNameTable::Table loadEmojiShortcodes(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    const auto refuse = [](const QString &reason) {
        qCWarning(lcExpansion).noquote() << "Could not read the emoji shortcodes:" << reason;
        return EmojiNameTable::Table();
    };
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString());
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return refuse(file.errorString());

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refuse(parseError.errorString());
    const QJsonValue member = document.object().value(QLatin1StringView("shortcodes"));
    if (!document.isObject() || !member.isObject())
        return refuse(QStringLiteral("it has no \"shortcodes\" object"));

    EmojiNameTable::Table shortcodes;
    const QJsonObject object = member.toObject();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!it.value().isString())
            return refuse(QStringLiteral("a shortcode does not map to a text"));
        shortcodes.insert(it.key(), it.value().toString());
    }
    return shortcodes;
}

bool containsEmoji(QStringView text)
{
    for (const char32_t scalar : text.toUcs4()) {
        if (u_hasBinaryProperty(UChar32(scalar), UCHAR_EMOJI_PRESENTATION)
            || u_hasBinaryProperty(UChar32(scalar), UCHAR_EMOJI_MODIFIER_BASE))
            return true;
    }
    return false;
}

std::optional<QString> resolveEmoji(const QString &text, const EmojiNameTable::Table &table)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    if (const auto found = table.constFind(trimmed.toLower()); found != table.cend())
        return found.value();
    for (QStringView rest(trimmed); !rest.isEmpty();) {
        qsizetype length = leftGraphemes(rest, 1).size();
        if (length <= 0)
            length = rest.size();
        if (!containsEmoji(rest.first(length)))
            return std::nullopt;
        rest = rest.sliced(length);
    }
    return trimmed;
}

std::optional<QString> resolveEmoji(const QString &text)
{
    return resolveEmoji(text, EmojiNameTable::shared().table());
}

} // namespace corvane
