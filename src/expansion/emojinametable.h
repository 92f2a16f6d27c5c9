#pragma once

#include <QMap>
#include <QString>
#include <QStringView>

#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace corvane {

// The map from emoji name to emoji text that lets the user type an emoji by its name after
// the expansion prefix. It is built once, on first use or ahead of it on a background thread;
// a first use while that build runs waits for it instead of building again.
class EmojiNameTable
{
public:
    using Table = QMap<QString, QString>;
    using Builder = std::function<Table()>;

    explicit EmojiNameTable(Builder builder);
    // Waits for a background build that is still running.
    ~EmojiNameTable();

    EmojiNameTable(const EmojiNameTable &) = delete;
    EmojiNameTable &operator=(const EmojiNameTable &) = delete;

    // Starts the build on a background thread, unless one has already started or finished.
    void warmUp();

    // The built table, read-only from then on. Builds it now, or waits for the build under way.
    const Table &table();

    // The process's table: Unicode emoji names with the application's shortcode resource
    // (":/EmojiShortcodes.json", which may be absent) merged over them.
    static EmojiNameTable &shared();

private:
    Builder m_builder;
    std::once_flag m_built;
    Table m_table;
    std::mutex m_warmUpMutex;
    std::thread m_warmUp;
};

// The emoji's name as used in the table: its Unicode character name in lower case with runs of
// anything but letters and numbers turned into "_" (U+1F300 gives "cyclone"). Nothing for a
// value that is not a named Unicode scalar.
std::optional<QString> emojiName(char32_t scalar);

// Names of every emoji shown in emoji style by default in the emoji blocks (the first scalar
// reaching a name keeps it), with the shortcodes read from shortcodesPath replacing names of
// the same key.
EmojiNameTable::Table buildEmojiNameTable(const QString &shortcodesPath);

// Shortcode to emoji text from the "shortcodes" object of the JSON file at path (a file or a
// Qt resource path). An absent file gives none silently; unreadable data, invalid JSON or a
// "shortcodes" member that is missing or not an object of strings give none and are logged.
EmojiNameTable::Table loadEmojiShortcodes(const QString &path);

// True when any scalar of text is shown as an emoji by default or takes a skin tone
// (Emoji_Presentation or Emoji_Modifier_Base).
bool containsEmoji(QStringView text);

// The emoji an alias should expand to: the table's emoji when the trimmed, lower-cased text is
// a name in table; the trimmed text itself when every character of it contains an emoji;
// otherwise nothing.
std::optional<QString> resolveEmoji(const QString &text, const EmojiNameTable::Table &table);

// resolveEmoji against the process's table.
std::optional<QString> resolveEmoji(const QString &text);

} // namespace corvane
