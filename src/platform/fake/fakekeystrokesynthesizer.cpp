#include "fakekeystrokesynthesizer.h"

namespace corvane {

namespace {

const QString deletePress = QStringLiteral("<Delete>");

} // namespace

QString FakeKeystrokeSynthesizer::typedText() const
{
    QString text;
    for (const QString &press : presses) {
        if (press == deletePress)
            text.chop(1);
        else
            text += press;
    }
    return text;
}

bool FakeKeystrokeSynthesizer::begin()
{
    if (!available)
        return false;
    isInBurst = true;
    return true;
}

void FakeKeystrokeSynthesizer::pressDelete()
{
    presses.append(deletePress);
    if (onDeletePress)
        onDeletePress();
}

void FakeKeystrokeSynthesizer::typeText(QStringView text)
{
    presses.append(text.toString());
}

void FakeKeystrokeSynthesizer::end()
{
    isInBurst = false;
    ++bursts;
}

} // namespace corvane
