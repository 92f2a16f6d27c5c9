#pragma once

#include <QMap>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <vector>

namespace corvane {

// Recognises the expansion prefix followed by a trigger word in the stream of typed keys and
// decides what to erase and what to type instead. It does no input or output of its own.
// Lengths are counted in user-perceived characters (grapheme clusters) throughout.
class ExpansionMatcher
{
public:
    // Trigger word to replacement text.
    using TriggerTable = QMap<QString, QString>;

    // What the expander should do: erase charactersToDelete characters before the cursor and
    // type insertion in their place. trigger is the word that matched.
    struct Expansion
    {
        std::int64_t charactersToDelete = 0;
        QString insertion;
        QString trigger;

        bool operator==(const Expansion &) const = default;
    };

    static constexpr qsizetype bufferLimit = 128;

    // Modifier flags (macOS bit values) that cancel a key report.
    static constexpr std::uint64_t controlFlag = 0x40000;
    static constexpr std::uint64_t commandFlag = 0x100000;

    // Starts with the prefix "::", no triggers and an empty buffer.
    ExpansionMatcher();
    explicit ExpansionMatcher(const QString &prefix);

    const QString &prefix() const { return m_prefix; }
    // An empty prefix disables matching entirely.
    void setPrefix(const QString &prefix);

    const TriggerTable &triggers() const { return m_triggers; }
    // Cheap when given the table already held (an implicitly shared copy), so the caller may
    // set it before every key report.
    void setTriggers(const TriggerTable &triggers);

    // What was typed since the last reset: at most bufferLimit characters, no white space.
    const QString &buffer() const { return m_buffer; }
    qsizetype bufferLength() const { return qsizetype(m_clusters.size()); }
    void clearBuffer();

    // Takes one key report (the characters it produced, its macOS virtual key code and its
    // modifier flags), updates the buffer and gives the expansion to perform, if any.
    std::optional<Expansion> feed(
        QStringView characters, std::uint16_t keyCode, std::uint64_t flags);

    // The expansion the buffer calls for right now, without changing anything: the trigger
    // after the last prefix, unless a longer trigger could still be typed.
    std::optional<Expansion> match() const;

private:
    // Where one buffered character starts in m_buffer and in m_decomposed.
    struct Cluster
    {
        qsizetype start;
        qsizetype decomposedStart;
    };

    // The prefix occurrence closest to the end: its first and one-past-last cluster index.
    struct PrefixMatch
    {
        qsizetype first;
        qsizetype end;
    };

    void append(QStringView character);
    void appendClusters(QStringView text);
    void removeLastCluster();
    void dropFrontClusters(qsizetype count);
    std::optional<PrefixMatch> lastPrefix() const;
    std::optional<QString> replacementFor(const QString &candidate) const;
    bool hasLongerTrigger(const QString &candidate) const;
    std::optional<Expansion> pendingAtWordBreak(QStringView whiteSpace) const;
    const TriggerTable &normalizedTriggers() const;

    QString m_prefix;
    QString m_decomposedPrefix;
    TriggerTable m_triggers;
    QString m_buffer;
    // The buffer with each character in canonical decomposition (NFD), so that a prefix search
    // treats canonically equivalent sequences as equal without normalising per key.
    QString m_decomposed;
    std::vector<Cluster> m_clusters;
    // The triggers keyed by their canonical composition (NFC), built when first needed after
    // the table changes; when every key is already composed it shares m_triggers.
    mutable std::optional<TriggerTable> m_normalizedTriggers;
};

} // namespace corvane
