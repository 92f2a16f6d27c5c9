#pragma once

#include <QString>
#include <QStringList>

#include <exception>
#include <string>

namespace corvane {

// A refusal of the store: a change that would break one of its rules. Each carries a full
// message, for alerts, editors and the tool server, and a short one for a card.
class ClipStoreError : public std::exception
{
public:
    enum class Code {
        triggerTaken,
        triggerStrandedByUnfiling,
        pinboardHoldsTriggers,
        missing,
        notEditable,
        duplicate,
        emptyTrigger,
        spacedTrigger,
        triggerNeedsPinboard,
    };

    static ClipStoreError triggerTaken(const QString &trigger);
    static ClipStoreError triggerStrandedByUnfiling(const QString &trigger);
    static ClipStoreError pinboardHoldsTriggers(const QStringList &triggers);
    static ClipStoreError missing();
    static ClipStoreError notEditable();
    static ClipStoreError duplicate();
    static ClipStoreError emptyTrigger();
    static ClipStoreError spacedTrigger();
    static ClipStoreError triggerNeedsPinboard();

    Code code() const { return m_code; }
    // The trigger(s) the error is about; empty for the cases without a payload.
    const QStringList &triggers() const { return m_triggers; }

    // The error's description, shown wherever the error itself is presented.
    QString fullMessage() const;
    // The few words shown on the card of the item concerned.
    QString shortMessage() const;
    // The case name, followed for the cases with a payload by that payload in parentheses,
    // each trigger written as a double-quoted literal with `"` and `\` escaped by a
    // backslash: `missing`, `triggerTaken("sig")`, `pinboardHoldsTriggers(["alpha", "zeta"])`.
    QString diagnostic() const;

    // what() is the full message in UTF-8.

    const char *what() const noexcept override { return m_what.c_str(); }

    bool operator==(const ClipStoreError &other) const
    {
        return m_code == other.m_code && m_triggers == other.m_triggers;
    }

private:
    ClipStoreError(Code code, QStringList triggers = {});

    Code m_code;
    QStringList m_triggers;
    std::string m_what;
};

} // namespace corvane
