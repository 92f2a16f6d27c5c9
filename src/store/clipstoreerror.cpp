#include "clipstoreerror.h"

namespace corvane {

namespace {

QString quoted(const QString &trigger)
{
    return QStringLiteral("“") + trigger + QStringLiteral("”");
}

// “alpha”, “zeta”
QString quotedList(const QStringList &triggers)
{
    QStringList parts;
    parts.reserve(triggers.size());
    for (const QString &trigger : triggers)
        parts << quoted(trigger);
    return parts.join(QStringLiteral(", "));
}

// A string literal as a programmer would write it, so that a trigger holding a quote or a
// backslash still reads unambiguously in a log line.
QString literal(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

ClipStoreError::ClipStoreError(Code code, QStringList triggers)
    : m_code(code)
    , m_triggers(std::move(triggers))
    , m_what(fullMessage().toStdString())
{ }

ClipStoreError ClipStoreError::triggerTaken(const QString &trigger)
{
    return ClipStoreError(Code::triggerTaken, { trigger });
}

ClipStoreError ClipStoreError::triggerStrandedByUnfiling(const QString &trigger)
{
    return ClipStoreError(Code::triggerStrandedByUnfiling, { trigger });
}

ClipStoreError ClipStoreError::pinboardHoldsTriggers(const QStringList &triggers)
{
    return ClipStoreError(Code::pinboardHoldsTriggers, triggers);
}

ClipStoreError ClipStoreError::missing()
{
    return ClipStoreError(Code::missing);
}

ClipStoreError ClipStoreError::notEditable()
{
    return ClipStoreError(Code::notEditable);
}

ClipStoreError ClipStoreError::duplicate()
{
    return ClipStoreError(Code::duplicate);
}

ClipStoreError ClipStoreError::emptyTrigger()
{
    return ClipStoreError(Code::emptyTrigger);
}

ClipStoreError ClipStoreError::spacedTrigger()
{
    return ClipStoreError(Code::spacedTrigger);
}

ClipStoreError ClipStoreError::triggerNeedsPinboard()
{
    return ClipStoreError(Code::triggerNeedsPinboard);
}

QString ClipStoreError::fullMessage() const
{
    const QString trigger = m_triggers.value(0);
    switch (m_code) {
    case Code::triggerTaken:
        return QStringLiteral("Another snippet already uses ") + quoted(trigger)
            + QStringLiteral(".");
    case Code::triggerStrandedByUnfiling:
        return quoted(trigger)
            + QStringLiteral(" is a snippet trigger. Remove the trigger before moving this off "
                             "its pinboard — in the clipboard it would eventually be cleared.");
    case Code::pinboardHoldsTriggers:
        if (m_triggers.size() == 1) {
            return QStringLiteral("This pinboard holds ") + quotedList(m_triggers)
                + QStringLiteral(", which is a snippet trigger. Remove the trigger or move the "
                                 "snippet to another pinboard first.");
        }
        return QStringLiteral("This pinboard holds snippet triggers (") + quotedList(m_triggers)
            + QStringLiteral("). Remove them or move the snippets to another pinboard first.");
    case Code::missing:
        return QStringLiteral("That item is no longer there.");
    case Code::notEditable:
        return QStringLiteral("Only text, links and colors can be edited.");
    case Code::duplicate:
        return QStringLiteral("You already have an item with exactly that content.");
    case Code::emptyTrigger:
        return QStringLiteral("A trigger needs at least one character.");
    case Code::spacedTrigger:
        return QStringLiteral("A trigger cannot contain spaces — it would never match.");
    case Code::triggerNeedsPinboard:
        return QStringLiteral("Only snippets on a pinboard can have a trigger. Items in the "
                              "clipboard are cleared out over time, and the trigger would stop "
                              "working when they were.");
    }
    return {};
}

QString ClipStoreError::shortMessage() const
{
    const QString trigger = m_triggers.value(0);
    switch (m_code) {
    case Code::triggerTaken:
        return quoted(trigger) + QStringLiteral(" is already taken");
    case Code::triggerStrandedByUnfiling:
        return QStringLiteral("Remove the ") + quoted(trigger) + QStringLiteral(" trigger first");
    case Code::pinboardHoldsTriggers:
        return QStringLiteral("This board holds a snippet trigger");
    case Code::missing:
        return QStringLiteral("That item is gone");
    case Code::notEditable:
        return QStringLiteral("This kind cannot be edited");
    case Code::duplicate:
        return QStringLiteral("You already have this");
    case Code::emptyTrigger:
        return QStringLiteral("A trigger needs a name");
    case Code::spacedTrigger:
        return QStringLiteral("Triggers cannot contain spaces");
    case Code::triggerNeedsPinboard:
        return QStringLiteral("Triggers only work on pinboards");
    }
    return {};
}

QString ClipStoreError::diagnostic() const
{
    switch (m_code) {
    case Code::triggerTaken:
        return QStringLiteral("triggerTaken(%1)").arg(literal(m_triggers.value(0)));
    case Code::triggerStrandedByUnfiling:
        return QStringLiteral("triggerStrandedByUnfiling(%1)").arg(literal(m_triggers.value(0)));
    case Code::pinboardHoldsTriggers: {
        QStringList literals;
        for (const QString &trigger : m_triggers)
            literals << literal(trigger);
        return QStringLiteral("pinboardHoldsTriggers([%1])")
            .arg(literals.join(QStringLiteral(", ")));
    }
    case Code::missing:
        return QStringLiteral("missing");
    case Code::notEditable:
        return QStringLiteral("notEditable");
    case Code::duplicate:
        return QStringLiteral("duplicate");
    case Code::emptyTrigger:
        return QStringLiteral("emptyTrigger");
    case Code::spacedTrigger:
        return QStringLiteral("spacedTrigger");
    case Code::triggerNeedsPinboard:
        return QStringLiteral("triggerNeedsPinboard");
    }
    return {};
}

} // namespace corvane
