#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QStringList>

namespace corvane::test {

// Collects the messages logged under one category while it lives (and nothing else).
class LogCapture
{
public:
    explicit LogCapture(const char *category)
        : m_category(category)
    {
        m_previousCapture = s_current;
        s_current = this;
        m_previousHandler = qInstallMessageHandler(&LogCapture::handle);
        QLoggingCategory::setFilterRules(QStringLiteral("com.ferrowen.corvane.*=true"));
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previousHandler);
        s_current = m_previousCapture;
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    const QStringList &messages() const { return m_messages; }
    qsizetype count(const QString &message) const { return m_messages.count(message); }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (s_current && context.category
            && QLatin1String(context.category) == QLatin1String(s_current->m_category))
            s_current->m_messages.append(message);
        else if (s_current && s_current->m_previousHandler)
            s_current->m_previousHandler(type, context, message);
    }

    inline static LogCapture *s_current = nullptr;
    const char *m_category;
    LogCapture *m_previousCapture;
    QtMessageHandler m_previousHandler;
    QStringList m_messages;
};

} // namespace corvane::test
