#include "mcptools.h"

#include "capture/candidateextraction.h"
#include "common/graphemes.h"
#include "store/clipstore.h"
#include "store/itemtitle.h"

#include <QDateTime>
#include <QStringList>

#include <algorithm>
#include <array>
#include <utility>

namespace corvane {

namespace {

constexpr qsizetype shortTitleLength = 200;
constexpr qsizetype shortTextLength = 500;
constexpr std::int64_t defaultSearchLimit = 20;
constexpr std::int64_t maximumSearchLimit = 100;

const QString noteSourceAppName = QStringLiteral("AI assistant");

QJsonObject property(const QString &type, const QString &description)
{
    return QJsonObject { { QStringLiteral("type"), type },
        { QStringLiteral("description"), description } };
}

QJsonObject schema(QJsonObject properties, const QStringList &required = {})
{
    QJsonObject result { { QStringLiteral("type"), QStringLiteral("object") },
        { QStringLiteral("properties"), std::move(properties) } };
    if (!required.isEmpty())
        result.insert(QStringLiteral("required"), QJsonArray::fromStringList(required));
    return result;
}

QJsonObject tool(
    const QString &name, const QString &title, const QString &description, QJsonObject inputSchema)
{
    return QJsonObject { { QStringLiteral("name"), name }, { QStringLiteral("title"), title },
        { QStringLiteral("description"), description },
        { QStringLiteral("inputSchema"), std::move(inputSchema) } };
}

QJsonArray buildToolDefinitions()
{
    QJsonObject kind
        = property(QStringLiteral("string"), QStringLiteral("Only items of this kind."));
    QJsonArray kinds;
    for (ClipKind each : allClipKinds)
        kinds.append(storedString(each));
    kind.insert(QStringLiteral("enum"), kinds);

    QJsonObject limit = property(
        QStringLiteral("integer"), QStringLiteral("How many to return. Defaults to 20."));
    limit.insert(QStringLiteral("minimum"), 1);
    limit.insert(QStringLiteral("maximum"), 100);

    const QJsonObject itemID
        = property(QStringLiteral("integer"), QStringLiteral("The item's id."));

    return QJsonArray {
        tool(QStringLiteral("search_clipboard"), QStringLiteral("Search clipboard history"),
            QStringLiteral(
                "Search everything the user has copied on this computer. Returns the most "
                "recent matches, newest first, with an id for each. Leave the query "
                "empty to get the most recent items regardless of content. Text is "
                "truncated here — use get_clipboard_item for the whole thing."),
            schema({
                { QStringLiteral("query"),
                    property(QStringLiteral("string"),
                        QStringLiteral("Words to look for. Omit for the most recent items.")) },
                { QStringLiteral("kind"), kind },
                { QStringLiteral("app"),
                    property(QStringLiteral("string"),
                        QStringLiteral("Only items copied from this app, by bundle id (for "
                                       "example com.apple.Safari).")) },
                { QStringLiteral("limit"), limit },
            })),
        tool(QStringLiteral("get_clipboard_item"), QStringLiteral("Get a clipboard item"),
            QStringLiteral("The full, untruncated content of one item, by the id "
                           "search_clipboard gave."),
            schema({ { QStringLiteral("id"), itemID } }, { QStringLiteral("id") })),
        tool(QStringLiteral("save_clipboard_item"), QStringLiteral("Save to clipboard history"),
            QStringLiteral("Add a note to the clipboard history so the user can find and paste "
                           "it later. This does NOT change what is currently on their "
                           "clipboard."),
            schema({ { QStringLiteral("text"),
                       property(QStringLiteral("string"), QStringLiteral("The text to save.")) } },
                { QStringLiteral("text") })),
        tool(QStringLiteral("list_pinboards"), QStringLiteral("List pinboards"),
            QStringLiteral("The user's pinboards — named collections they curated deliberately. "
                           "Items on a pinboard are never pruned."),
            schema({})),
        tool(QStringLiteral("create_pinboard"), QStringLiteral("Create a pinboard"),
            QStringLiteral(
                "Make a new pinboard. Does nothing if one with that name already exists."),
            schema({ { QStringLiteral("name"),
                       property(QStringLiteral("string"), QStringLiteral("What to call it.")) } },
                { QStringLiteral("name") })),
        tool(QStringLiteral("add_to_pinboard"), QStringLiteral("Add an item to a pinboard"),
            QStringLiteral("Put an existing clipboard item on a pinboard, keeping it from ever "
                           "being pruned."),
            schema(
                {
                    { QStringLiteral("pinboard"),
                        property(
                            QStringLiteral("string"), QStringLiteral("The pinboard's name.")) },
                    { QStringLiteral("item_id"), itemID },
                },
                { QStringLiteral("pinboard"), QStringLiteral("item_id") })),
    };
}

// Arguments count only with the right JSON type; anything else is as if it were missing.
std::optional<QString> stringArgument(const QJsonObject &arguments, const QString &key)
{
    const QJsonValue value = arguments.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

// A number with an integral value. Integers that fit 64 bits arrive exact from the parser;
// an integral value outside that range cannot name an item or a count and counts as missing.
std::optional<std::int64_t> integerArgument(const QJsonObject &arguments, const QString &key)
{
    const QJsonValue value = arguments.value(key);
    if (!value.isDouble())
        return std::nullopt;
    const qint64 integer = value.toInteger(0);
    if (integer == 0 && value.toDouble() != 0.0)
        return std::nullopt;
    return integer;
}

QString shortenedTo(const QString &value, qsizetype limit)
{
    // Only the first limit characters are walked, so huge texts cost no more than short ones.
    QString head = leftGraphemes(value, limit);
    if (head.size() == value.size())
        return value;
    return head + QStringLiteral("…");
}

QString isoDate(Timestamp time)
{
    return QDateTime::fromMSecsSinceEpoch(toMillis(time), Qt::UTC).toString(Qt::ISODate);
}

// Whether the description of an item whose text was cut could differ from that of the whole
// item. A cut text is a prefix of a longer one, so its first 500 characters are the whole
// text's when the cut holds two more (the last may be a character cut short); and a title
// shorter than the cut cannot equal the longer whole text.
bool needsWholeText(const ClipItem &item)
{
    if (!item.isTextPartial || !item.text)
        return false;
    return item.title.size() >= item.text->size()
        || graphemeCountUpTo(*item.text, shortTextLength + 1) <= shortTextLength + 1;
}

// Reads again whole the items whose shortened description needs more than the start of their
// text: a search reads only the starts, since it shows 500 characters of a 32 MB text.
void wholeWhereCut(std::vector<ClipItem> &items, ClipStore &store)
{
    for (ClipItem &item : items) {
        if (!needsWholeText(item))
            continue;
        if (auto whole = store.item(item.id)) {
            whole->recognizedText = std::move(item.recognizedText);
            item = std::move(*whole);
        }
    }
}

QString searchClipboard(const QJsonObject &arguments, ClipStore &store)
{
    const QString query
        = stringArgument(arguments, QStringLiteral("query")).value_or(QString()).trimmed();
    std::int64_t limit
        = integerArgument(arguments, QStringLiteral("limit")).value_or(defaultSearchLimit);
    limit = std::clamp<std::int64_t>(limit, 1, maximumSearchLimit);

    ClipStore::Filter filter;
    filter.search = query;
    filter.limit = limit;
    filter.textByteLimit = searchToolTextByteLimit;
    if (const auto kind = stringArgument(arguments, QStringLiteral("kind"))) {
        for (ClipKind each : allClipKinds) {
            if (storedString(each) == *kind)
                filter.kinds.insert(each);
        }
    }
    if (const auto app = stringArgument(arguments, QStringLiteral("app")); app && !app->isEmpty())
        filter.sourceBundleIDs.insert(*app);

    std::vector<ClipItem> found = store.items(filter);
    wholeWhereCut(found, store);
    if (found.empty()) {
        if (!query.isEmpty())
            return QStringLiteral("Nothing in the clipboard history matches “") + query
                + QStringLiteral("”.");
        return QStringLiteral("The clipboard history is empty.");
    }
    QStringList descriptions;
    descriptions.reserve(qsizetype(found.size()));
    for (const ClipItem &item : found)
        descriptions.append(describeItem(item, true));
    return descriptions.join(QStringLiteral("\n\n"));
}

QString getClipboardItem(const QJsonObject &arguments, ClipStore &store)
{
    const auto id = integerArgument(arguments, QStringLiteral("id"));
    if (!id)
        return QStringLiteral("Give me the item's id.");
    auto item = store.item(*id);
    if (item && item->kind == ClipKind::image)
        item->recognizedText = store.recognizedText(item->id);
    if (!item) {
        return QStringLiteral("There is no clipboard item with id ") + QString::number(*id)
            + QStringLiteral(". It may have been deleted.");
    }
    QString description = describeItem(*item, false);
    if (item->kind == ClipKind::image)
        description += QStringLiteral("\n(Image data is not included. Open Corvane to see it.)");
    return description;
}

QString saveClipboardItem(const QJsonObject &arguments, ClipStore &store)
{
    const auto text = stringArgument(arguments, QStringLiteral("text"));
    if (!text || text->trimmed().isEmpty())
        return QStringLiteral("Give me some text to save.");

    const ItemTitle title = titleOfText(*text, FirstLine::asWritten);
    ClipCandidate candidate;
    candidate.kind = recognizeLink(*text) ? ClipKind::link : ClipKind::text;
    candidate.text = text->toUtf8();
    candidate.title = title.title;
    candidate.subtitle = title.subtitle;
    candidate.byteCount = candidate.text->size();
    candidate.sourceAppName = noteSourceAppName;
    candidate.isConcealed = false;
    candidate.capturedAt = now();

    // Notes are never the reason to prune: limits of 0 keep everything.
    const auto item = store.record(candidate, 0, 0, ClipStore::payloadCapBytes);
    if (!item) {
        return QStringLiteral(
            "That was not saved — it looked like a credential, or it was already there.");
    }
    return QStringLiteral("Saved as item ") + QString::number(item->id) + QStringLiteral(".");
}

QString listPinboards(const QJsonObject &, ClipStore &store)
{
    const std::vector<Pinboard> pinboards = store.pinboards();
    if (pinboards.empty())
        return QStringLiteral("There are no pinboards yet.");
    QStringList lines;
    for (const Pinboard &pinboard : pinboards) {
        lines.append(pinboard.name + QStringLiteral(" — ") + QString::number(pinboard.itemCount)
            + QStringLiteral(" item")
            + (pinboard.itemCount == 1 ? QString() : QStringLiteral("s")));
    }
    return lines.join(u'\n');
}

const Pinboard *pinboardNamed(const std::vector<Pinboard> &pinboards, const QString &name)
{
    for (const Pinboard &pinboard : pinboards) {
        if (pinboard.name.compare(name, Qt::CaseInsensitive) == 0)
            return &pinboard;
    }
    return nullptr;
}

QString createPinboard(const QJsonObject &arguments, ClipStore &store)
{
    const QString name
        = stringArgument(arguments, QStringLiteral("name")).value_or(QString()).trimmed();
    if (name.isEmpty())
        return QStringLiteral("Give the pinboard a name.");
    const std::vector<Pinboard> pinboards = store.pinboards();
    if (const Pinboard *existing = pinboardNamed(pinboards, name))
        return QStringLiteral("“") + existing->name + QStringLiteral("” already exists.");
    const Pinboard created = store.createPinboard(name);
    return QStringLiteral("Created the pinboard “") + created.name + QStringLiteral("”.");
}

QString addToPinboard(const QJsonObject &arguments, ClipStore &store)
{
    const auto name = stringArgument(arguments, QStringLiteral("pinboard"));
    const auto itemID = integerArgument(arguments, QStringLiteral("item_id"));
    if (!name || !itemID)
        return QStringLiteral("Give me both a pinboard name and an item id.");
    const std::vector<Pinboard> pinboards = store.pinboards();
    const Pinboard *pinboard = pinboardNamed(pinboards, *name);
    if (!pinboard)
        return QStringLiteral("There is no pinboard called “") + *name + QStringLiteral("”.");
    const QString noSuchItem = QStringLiteral("There is no clipboard item with id ")
        + QString::number(*itemID) + QStringLiteral(".");
    if (!store.item(*itemID))
        return noSuchItem;
    try {
        store.addItem(pinboard->id, *itemID);
    } catch (const ClipStoreError &error) {
        // Deleted by the application (pruning, most likely) or by another assistant between
        // the look and the filing.
        if (error.code() != ClipStoreError::Code::missing)
            throw;
        if (!store.item(*itemID))
            return noSuchItem;
        return QStringLiteral("There is no pinboard called “") + *name + QStringLiteral("”.");
    }
    return QStringLiteral("Added item ") + QString::number(*itemID) + QStringLiteral(" to “")
        + pinboard->name + QStringLiteral("”.");
}

using ToolFunction = QString (*)(const QJsonObject &, ClipStore &);

const std::array<std::pair<QStringView, ToolFunction>, 6> tools = { {
    { u"search_clipboard", searchClipboard },
    { u"get_clipboard_item", getClipboardItem },
    { u"save_clipboard_item", saveClipboardItem },
    { u"list_pinboards", listPinboards },
    { u"create_pinboard", createPinboard },
    { u"add_to_pinboard", addToPinboard },
} };

} // namespace

const QJsonArray &mcpToolDefinitions()
{
    static const QJsonArray definitions = buildToolDefinitions();
    return definitions;
}

std::optional<QString> callTool(const QString &name, const QJsonObject &arguments, ClipStore &store)
{
    for (const auto &[toolName, function] : tools) {
        if (toolName == name)
            return function(arguments, store);
    }
    return std::nullopt;
}

QString describeItem(const ClipItem &item, bool shortened)
{
    QString header = QStringLiteral("[") + QString::number(item.id) + QStringLiteral("] ")
        + storedString(item.kind) + QStringLiteral(" · ") + isoDate(item.createdAt);
    if (item.sourceAppName)
        header += QStringLiteral(" · from ") + *item.sourceAppName;

    const auto present = [shortened](const QString &value, qsizetype limit) {
        return shortened ? shortenedTo(value, limit) : value;
    };
    QStringList lines { header, present(item.title, shortTitleLength) };
    if (item.subtitle && *item.subtitle != item.title)
        lines.append(present(*item.subtitle, shortTitleLength));
    if (item.text && *item.text != item.title)
        lines.append(present(*item.text, shortTextLength));
    if (item.recognizedText) {
        // The first line read in the image says what it shows; a search already matched it.
        const QString firstLine = item.recognizedText->section(u'\n', 0, 0).trimmed();
        if (!firstLine.isEmpty())
            lines.append(
                QStringLiteral("Text in image: ") + shortenedTo(firstLine, shortTitleLength));
    }
    return lines.join(u'\n');
}

} // namespace corvane
